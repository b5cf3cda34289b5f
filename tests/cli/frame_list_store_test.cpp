// A long series from two folders opens without rewriting the per-user store for every frame:
// each write is a flush and rename of user.ini, and 5000 of them took half a minute. The store
// still ends with the folder of the last frame taken, as the next open dialog starts there.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "imagefiles/bmp_file.h"
#include "session/frame_list_open.h"
#include "session/session.h"
#include "session/startup.h"
#include "support/temp_dir.h"
#include "workspace/big_ini_file.h"
#include "workspace/scripted_host.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// Counts the times user.ini was replaced or written in place while it watches.
class StoreWrites {
public:
    explicit StoreWrites(const fs::path& dir) : fd_(inotify_init1(IN_NONBLOCK)) {
        inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~StoreWrites() { close(fd_); }
    int Count() {
        alignas(inotify_event) char buffer[1 << 16];
        int writes = 0;
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->mask & IN_Q_OVERFLOW) writes += 1 << 20;  // far more than any bound
                else if (e->len > 0 && std::strcmp(e->name, "user.ini") == 0) ++writes;
                p += sizeof(inotify_event) + e->len;
            }
        return writes;
    }

private:
    int fd_;
};

TEST(CliFrameListStore, LongTwoFolderSeriesWritesTheStoreOnce) {
    struct Case {
        const char* name;
        void (*open)(Session&, const fs::path& list, const std::vector<std::string>& files);
    };
    const Case cases[] = {
        {"frame list", [](Session& s, const fs::path& list, const std::vector<std::string>&) {
             OpenFrameListFile(s, list.string());
         }},
        {"dropped files", [](Session& s, const fs::path&, const std::vector<std::string>& files) {
             EventArgs drop;
             drop.Files = files;
             s.Dispatch("MainForm", Event::FilesDropped, drop);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        for (const char* folder : {"a", "b"}) {
            fs::create_directories(dir / folder);
            Bitmap24 frame(64, 48);
            frame.Fill(Bgr{40, 80, 120});
            WriteBmp24(dir / folder / "frame.bmp", frame);
        }
        // 5001 lines, the most a series takes, changing folder at nearly every line; the first
        // lies in a, the last in b.
        std::vector<std::string> files;
        for (int i = 0; i < 5001; ++i) files.push_back((dir / (i % 3 == 2 ? "b" : "a") / "frame.bmp").string());
        const fs::path list = dir / "long.rfl";
        {
            std::ofstream out(list, std::ios::binary);
            for (const std::string& f : files) out << f << "\r\n";
        }
        ScriptedHost host;
        Session s(host);
        StartUpEnvironment env;
        env.CurrentDir = dir.path();
        env.ProgramFile = dir / "talvenor";
        env.UserConfigDir = dir / "config";
        StartUp(s, env);
        StoreWrites writes(env.UserConfigDir);
        const auto start = std::chrono::steady_clock::now();
        c.open(s, list, files);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  %s of 5001 lines from two folders: %.2f s\n", c.name, seconds);

        EXPECT_EQ(s.ws.LastFrame, 5000);
        EXPECT_LE(writes.Count(), 4);
        EXPECT_EQ(TBigIniFile(env.UserConfigDir / "user.ini").ReadString("Files", "Dir", ""), (dir / "b").string());
    }
}

}  // namespace
}  // namespace talvenor
