#include "cli/output_guard.h"

#include "cli/cli_host.h"
#include "input/frame_lists.h"
#include "workspace/error.h"
#include "workspace/read_only_files.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

std::string Extension(const fs::path& p) { return ToLower(p.extension().string()); }

std::vector<fs::path> FitsFamily(const fs::path& path) {
    fs::path base = path;
    base.replace_extension();
    std::vector<fs::path> files{base.string() + ".fit"};
    if (Extension(path) == ".fitr") files.push_back(base.string() + ".fitr");
    for (const char* suffix : {"_R.fit", "_G.fit", "_B.fit"}) files.push_back(base.string() + suffix);
    return files;
}

const char* kForceHint = " (--force or -y replaces it)";

}  // namespace

std::vector<fs::path> FilesWritten(const fs::path& output) {
    const std::string ext = Extension(output);
    if (ext == ".fit" || ext == ".fits" || ext == ".fitr") return FitsFamily(output);
    fs::path renamed = output;
    if (ext == ".jpeg") renamed.replace_extension(".jpg");
    else if (ext == ".tiff") renamed.replace_extension(".tif");
    if (renamed == output) return {output};
    return {output, renamed};
}

std::vector<fs::path> FilesRead(const std::vector<std::string>& inputs) {
    std::vector<fs::path> read;
    for (const std::string& in : inputs) {
        read.emplace_back(in);
        const std::string ext = Extension(in);
        if (ext == ".rfl" && Exists(in)) {
            for (const std::string& line : ReadFrameListFile(in)) read.emplace_back(line);
        } else if (ext == ".fit" || ext == ".fits") {
            // A colour FITS result is read from its channel files.
            const std::vector<fs::path> family = FitsFamily(in);
            read.insert(read.end(), family.begin() + 1, family.end());
        }
    }
    return read;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (Exists(a) && Exists(b)) return fs::equivalent(a, b, ec) && !ec;
    const fs::path ca = fs::weakly_canonical(fs::absolute(a), ec), cb = fs::weakly_canonical(fs::absolute(b), ec);
    return ca == cb;
}

void GuardOutputs(const std::vector<fs::path>& read, const std::vector<OutputFile>& outputs, CliHost& host) {
    // Only files that exist can be inputs; comparing each input once keeps a 5000-frame list cheap.
    std::vector<fs::path> existing;
    for (const fs::path& r : read)
        if (Exists(r)) existing.push_back(r);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const OutputFile& o = outputs[i];
        for (const fs::path& written : FilesWritten(o.path)) {
            if (!Exists(written)) continue;
            for (const fs::path& r : existing)
                if (SameFile(written, r))
                    throw Error(written.string() + ": " + o.option + " " + o.path.string() + " is one of the inputs (" +
                                r.string() + "), which it would overwrite");
        }
        for (std::size_t j = 0; j < i; ++j)
            for (const fs::path& written : FilesWritten(o.path))
                for (const fs::path& other : FilesWritten(outputs[j].path))
                    if (SameFile(written, other))
                        throw Error(written.string() + ": " + o.option + " " + o.path.string() + " is also " +
                                    outputs[j].option + " " + outputs[j].path.string() + "; one file cannot hold both");
    }
    // The command line never replaces a protected file; saying so now spares the work.
    for (const OutputFile& o : outputs)
        for (const fs::path& written : FilesWritten(o.path))
            if (IsReadOnlyFile(written))
                throw Error(written.string() + " is read-only: " + o.option + " " + o.path.string() + " would replace it");
    for (const OutputFile& o : outputs) {
        fs::path there;
        for (const fs::path& written : FilesWritten(o.path))
            if (there.empty() && Exists(written)) there = written;
        if (there.empty()) continue;
        // A forced save asks (and is answered) when it writes; asking here too would show the
        // question twice.
        if (o.saveAsks && host.Force) continue;
        const char* question = o.projectFile ? " Overwrite existing projectfile ?" : " Overwrite existing file ?";
        if (host.Message(MsgKind::Warning, question, Buttons::YesNo) != Answer::Yes)
            throw Error(there.string() + ": " + o.option + " " + o.path.string() + " exists and was left as it is" +
                        kForceHint);
    }
}

}  // namespace talvenor
