#include "session/filter_file_handlers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "project/filter_file.h"
#include "session_fixture.h"
#include "workspace/caption.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Distinct weights with negatives, fractions and zero, so a value landing on the wrong spin
// or losing its sign or digits shows.
FilterValues SampleValues() {
    FilterValues v{};
    for (int i = 0; i < kFilterValueCount; ++i) v[std::size_t(i)] = (i % 3 == 0 ? -1 : 1) * (i * 7.25 - 3);
    v[12] = 0;
    v[24] = -999;
    return v;
}

// A filter file with every key present, except that the line of `key` is replaced by `line`
// (left out when `line` is empty).
std::string FilterFileText(const std::string& key = "", const std::string& line = "") {
    std::string text = std::string("[") + kFilterSection + "]\r\n";
    for (int i = 0; i < kFilterValueCount; ++i) {
        const std::string k = FilterSpinName(i) + "_Value";
        if (k == key) {
            if (!line.empty()) text += line + "\r\n";
        } else {
            text += k + "=" + std::to_string(i) + "\r\n";
        }
    }
    return text;
}

TEST(FilterFile, WritesEveryValueAndReadsItBackExactly) {
    testing::TempDir dir;
    const fs::path path = dir / "kernel.rsf";
    FilterValues v = SampleValues();
    v[3] = 0.1;  // not exact in binary: must still come back bit for bit
    WriteFilterFile(path, v);
    EXPECT_EQ(ReadFilterFile(path), v);
    const std::string text = Contents(path);
    EXPECT_EQ(text.rfind(std::string("[") + kFilterSection + "]\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\nFilter44_Value=-999\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nFilter30_Value=0.1\r\n"), std::string::npos) << text;
}

TEST(FilterFile, WritingReplacesWhateverTheFileHeldBefore) {
    testing::TempDir dir;
    const fs::path path = dir / "old.rsf";
    std::ofstream(path, std::ios::binary) << "[Form]\r\nBias_Value=3\r\n[" << kFilterSection
                                          << "]\r\nFilter00_Value=5\r\nStray=1\r\n";
    WriteFilterFile(path, SampleValues());
    const std::string text = Contents(path);
    EXPECT_EQ(text.find("Bias_Value"), std::string::npos) << text;
    EXPECT_EQ(text.find("Stray"), std::string::npos) << text;
    EXPECT_EQ(ReadFilterFile(path), SampleValues());
}

TEST(FilterFile, BadFilesAreErrorsNamingTheFile) {
    testing::TempDir dir;
    const struct {
        const char* what;
        std::string text;  // "\x02" = no file at all
    } cases[] = {
        {"missing file", "\x02"},
        {"empty file", ""},
        {"binary garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"another section", "[Form]\r\n" + FilterFileText().substr(FilterFileText().find('\n') + 1)},
        {"one key missing", FilterFileText("Filter32_Value")},
        {"value not a number", FilterFileText("Filter21_Value", "Filter21_Value=six")},
        {"value empty", FilterFileText("Filter44_Value", "Filter44_Value=")},
        {"value not finite", FilterFileText("Filter00_Value", "Filter00_Value=1e999")},
        {"trailing text", FilterFileText("Filter11_Value", "Filter11_Value=6 7")},
    };
    for (const auto& c : cases) {
        const fs::path path = dir / (std::string(c.what) + ".rsf");
        if (c.text != "\x02") std::ofstream(path, std::ios::binary) << c.text;
        try {
            ReadFilterFile(path);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(path.string() + ": ", 0), 0u) << c.what << ": " << e.what();
        }
    }
    // The reader accepts exactly what it was shown to refuse when the line is sound.
    std::ofstream(dir / "good.rsf", std::ios::binary) << FilterFileText();
    EXPECT_EQ(ReadFilterFile(dir / "good.rsf")[24], 24);
}

// The "Wavelet Filter" window of a started program, saving and loading through its buttons.
struct FilterWindow {
    testing::StartedSession t;
    Session& s = t.Start();
    fs::path copy = t.appDir / "savefilter.ini";

    void Save(const fs::path& path) {
        t.host.SaveChoices.push_back(FileChoice{{path.string()}, 1});
        s.Dispatch("SaveFilter", Event::Click);
    }
    void Load(const fs::path& path) {
        t.host.OpenChoices.push_back(FileChoice{{path.string()}, 1});
        s.Dispatch("LoadFilter", Event::Click);
    }
    std::string SavedCaption() const { return MakeCaption(s.ws, CaptionKind::Saved); }
};

TEST(FilterButtons, SaveAndLoadRoundTripAllSpinsWithoutTouchingTheKernel) {
    FilterWindow w;
    const FilterValues sample = SampleValues();
    ApplyFilterValues(w.s.form, sample);
    const fs::path file = w.t.appDir / "mine.rsf";
    w.Save(file);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(Contents(w.copy), Contents(file));
    EXPECT_EQ(w.t.host.Caption, w.SavedCaption());
    EXPECT_TRUE(w.t.host.Messages.empty());
    ASSERT_EQ(w.t.host.SaveRequests.size(), 1u);
    EXPECT_EQ(w.t.host.SaveRequests[0].Filter, "Talvenor Filter|*.rsf");

    w.s.Dispatch("ResetFilter", Event::Click);
    ASSERT_NE(FilterValuesFrom(w.s.form), sample);
    fs::remove(w.copy);
    w.t.host.Caption.clear();
    const SmoothingKernel kernel = w.s.wavelets.Kernel;
    w.Load(file);
    EXPECT_EQ(FilterValuesFrom(w.s.form), sample);
    // Loaded weights wait for "Set".
    EXPECT_EQ(w.s.wavelets.Kernel, kernel);
    EXPECT_EQ(ReadFilterFile(w.copy), sample);
    EXPECT_EQ(w.t.host.Caption, w.SavedCaption());
    ASSERT_EQ(w.t.host.OpenRequests.size(), 1u);
    EXPECT_EQ(w.t.host.OpenRequests[0].Filter, "Talvenor Filter|*.rsf");
    // The next dialog opens where the last filter was.
    w.Load(file);
    EXPECT_EQ(w.t.host.OpenRequests.back().InitialDir, w.t.appDir.path().string());
}

TEST(FilterButtons, OverwriteIsAskedAndNoLeavesEverythingAsItWas) {
    const struct {
        Answer answer;
        bool written;
    } cases[] = {{Answer::No, false}, {Answer::Yes, true}};
    for (const auto& c : cases) {
        FilterWindow w;
        const fs::path file = w.t.appDir / "old.rsf";
        w.t.WriteFile(file, "keep me");
        w.t.WriteFile(w.copy, "old copy");
        ApplyFilterValues(w.s.form, SampleValues());
        w.t.host.Answers.push_back(c.answer);
        w.Save(file);
        ASSERT_EQ(w.t.host.Messages.size(), 1u);
        EXPECT_EQ(w.t.host.Messages[0].Text, " Overwrite existing projectfile ?");
        EXPECT_EQ(w.t.host.Messages[0].Kind, MsgKind::Warning);
        EXPECT_EQ(w.t.host.Messages[0].Choices, Buttons::YesNo);
        if (c.written) {
            EXPECT_EQ(ReadFilterFile(file), SampleValues());
            EXPECT_EQ(ReadFilterFile(w.copy), SampleValues());
        } else {
            EXPECT_EQ(Contents(file), "keep me");
            EXPECT_EQ(Contents(w.copy), "old copy");
        }
        EXPECT_EQ(w.t.host.Caption, w.SavedCaption());
    }
}

TEST(FilterButtons, CancelledDialogsWriteAndChangeNothing) {
    FilterWindow w;
    const FilterValues before = FilterValuesFrom(w.s.form);
    w.s.Dispatch("SaveFilter", Event::Click);  // empty queues: the user cancelled
    w.s.Dispatch("LoadFilter", Event::Click);
    EXPECT_FALSE(fs::exists(w.copy));
    EXPECT_EQ(FilterValuesFrom(w.s.form), before);
    EXPECT_TRUE(w.t.host.Messages.empty());
}

TEST(FilterButtons, ABadFileIsAnErrorThatLeavesSpinsAndCopyAlone) {
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"missing", "\x02"},
        {"garbled", "[WaveletFilter]\r\nFilter00_Value=1\r\n\x01\x02\x03"},
        {"one bad value", FilterFileText("Filter44_Value", "Filter44_Value=x")},
    };
    for (const auto& c : cases) {
        FilterWindow w;
        const fs::path file = w.t.appDir / "bad.rsf";
        if (c.text != "\x02") w.t.WriteFile(file, c.text);
        w.t.WriteFile(w.copy, "old copy");
        const FilterValues before = FilterValuesFrom(w.s.form);
        EXPECT_THROW(w.Load(file), Error) << c.what;
        EXPECT_EQ(FilterValuesFrom(w.s.form), before) << c.what;
        EXPECT_EQ(Contents(w.copy), "old copy") << c.what;
    }
}

TEST(FilterButtons, LoadedValuesBeyondTheSpinRangeAreRefusedNamingTheKey) {
    FilterWindow w;
    const fs::path file = w.t.appDir / "wild.rsf";
    w.t.WriteFile(file, FilterFileText("Filter22_Value", "Filter22_Value=5000"));
    const FilterValues before = FilterValuesFrom(w.s.form);
    try {
        w.Load(file);
        ADD_FAILURE() << "loaded";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Filter22_Value=5000 is out of range"), std::string::npos) << e.what();
    }
    EXPECT_EQ(FilterValuesFrom(w.s.form), before);
}

}  // namespace
}  // namespace talvenor
