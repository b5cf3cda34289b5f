#include "session/result_save.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/recipe.h"
#include "imagefiles/tiff_file.h"
#include "ranked_stills.h"
#include "session/stacking_handlers.h"
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

// A processed result as the wavelet page leaves it: the picture and the 16-bit image, the
// latter a pixel larger than the image each way with a border that must never be saved.
struct ProcessedResult {
    static constexpr int kWidth = 7, kHeight = 5;
    testing::StartedSession t;
    Session& s = t.Start();

    ProcessedResult() {
        s.ws.ImageWidth = kWidth;
        s.ws.ImageHeight = kHeight;
        s.ws.IsImageSeries = true;
        s.ws.FileNames[0] = (t.appDir / "frame0.bmp").string();
        Bitmap24& picture = s.form.ProcessImage.Image;
        picture.SetSize(kWidth, kHeight);
        TTIFFBitMap& wide = s.ws.StackTiff;
        wide.CreateWide(kWidth + 1, kHeight + 1);
        for (int y = 0; y <= kHeight; ++y)
            for (int x = 0; x <= kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    const bool inside = x < kWidth && y < kHeight;
                    wide.SetSample(x, y, c, inside ? uint16_t(1000 * c + 97 * x + 1301 * y) : uint16_t(65535));
                    if (inside) picture.SetPixel(x, y, Bgr{uint8_t(30 * x), uint8_t(40 * y), uint8_t(7 * x + y)});
                }
    }

    // Clicks "Save" on the wavelet page with this file typed and this type chosen.
    void Save(const std::string& typed, int type) {
        t.host.SaveChoices.push_back(FileChoice{{(t.appDir / typed).string()}, type});
        s.Dispatch("SaveBMP2button", Event::Click);
    }
    std::string SavedCaption() const { return MakeCaption(s.ws, CaptionKind::Saved); }
};

TEST(SaveTargetPath, ReplacesTheTypedExtensionExceptForFits) {
    const fs::path d = "/data/run";
    const struct {
        std::string typed;
        SaveFormat format;
        bool defaultName;
        fs::path expected;
    } cases[] = {
        {"result.png", SaveFormat::Bmp, true, d / "result.bmp"},
        {"result", SaveFormat::Jpeg, true, d / "result.jpg"},
        {"x.TIF", SaveFormat::Tiff, false, d / "x.tif"},
        {"a.b.c", SaveFormat::Jpeg, false, d / "a.b.jpg"},
        {".tif", SaveFormat::Tiff, true, d / "default.tif"},
        {"x.tif", SaveFormat::Png, false, d / "x.png"},
        {"", SaveFormat::Png, true, d / "default.png"},
        {"", SaveFormat::Bmp, true, d / "default.bmp"},
        {".fit", SaveFormat::Fits, true, d / "default"},
        {"stack.fit", SaveFormat::Fits, false, d / "stack.fit"},
        {"stack.FITR", SaveFormat::Fits, true, d / "stack.FITR"},
        // The stack's save keeps what was typed: the extension goes, nothing stands in for it.
        {".tif", SaveFormat::Bmp, false, d / ".bmp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SaveTargetPath(d / c.typed, c.format, c.defaultName), c.expected)
            << "'" << c.typed << "' default " << c.defaultName;
}

TEST(WaveletSave, EveryTypeWritesTheProcessedResultUnderItsName) {
    ProcessedResult r;
    const struct {
        std::string typed;
        int type;
        std::string written;
    } cases[] = {
        {"result.png", 1, "result.bmp"},
        {"result", 2, "result.jpg"},
        {"result.fit", 3, "result.fit"},
        {".tif", 4, "default.tif"},
        {"result.tif", 5, "result.png"},
        {"", 1, "default.bmp"},
    };
    for (const auto& c : cases) {
        r.t.host.Caption.clear();
        r.Save(c.typed, c.type);
        EXPECT_TRUE(fs::exists(r.t.appDir / c.written)) << c.written;
        EXPECT_EQ(r.t.host.Caption, r.SavedCaption()) << c.written;
        EXPECT_EQ(r.s.form.WaveletSave.FilterIndex, c.type);
        EXPECT_EQ(r.t.host.SaveRequests.back().Filter, r.s.form.WaveletSave.Filter);
    }
    EXPECT_FALSE(r.t.host.Showed(" Overwrite existing file ?"));
    EXPECT_EQ(r.t.UserValue("Files", "SaveDir"), r.t.appDir.path().string());

    EXPECT_EQ(ReadBmp(r.t.appDir / "result.bmp"), r.s.form.ProcessImage.Image);
    const Bitmap24 jpeg = ReadJpeg(r.t.appDir / "result.jpg");
    EXPECT_EQ(jpeg.Width(), ProcessedResult::kWidth);
    EXPECT_EQ(jpeg.Height(), ProcessedResult::kHeight);

    // The 16-bit files hold the image, without the spare row and column of the result buffer.
    TTIFFBitMap tiff;
    LoadFromFile(tiff, r.t.appDir / "default.tif");
    ASSERT_EQ(tiff.Width(), ProcessedResult::kWidth);
    ASSERT_EQ(tiff.Height(), ProcessedResult::kHeight);
    const FitsFile fits = LoadFitsFile(r.t.appDir / "result.fit");
    ASSERT_EQ(fits.Header.Width, ProcessedResult::kWidth);
    ASSERT_EQ(fits.Header.Height, ProcessedResult::kHeight);
    const DecodedImage png = ReadPng(r.t.appDir / "result.png");
    ASSERT_EQ(png.Width, ProcessedResult::kWidth);
    ASSERT_EQ(png.Height, ProcessedResult::kHeight);
    int differences = 0;
    for (int y = 0; y < ProcessedResult::kHeight; ++y)
        for (int x = 0; x < ProcessedResult::kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                differences += (tiff.Sample(x, y, c) != r.s.ws.StackTiff.Sample(x, y, c)) +
                               (png.At(x, y, c) != r.s.ws.StackTiff.Sample(x, y, c));
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(ReadRecipe(r.t.appDir / "result.png"), ReadRecipe(r.t.appDir / "default.tif"));
}

TEST(StackSave, PngIsTheSixteenBitStackOfTheTiffSaveAndAsksBeforeReplacing) {
    testing::RankedStills a(2, 16, 12, [](int k, int x, int y) {
        return Bgr{uint8_t(40 + 10 * k + x), uint8_t(90 + y), uint8_t(200 - 3 * x - k)};
    });
    Session& s = *a.s;
    s.form.ColourStack.Checked = true;
    Stack(s);
    ASSERT_TRUE(s.ws.StackReady);
    const fs::path dir = a.t.appDir.path();
    for (const auto& [typed, type] : {std::pair{"stack.tif", 6}, std::pair{"stack.bmp", 7}}) {
        a.t.host.SaveChoices.push_back(FileChoice{{(dir / typed).string()}, type});
        s.Dispatch("SaveButton", Event::Click);
    }
    EXPECT_EQ(s.form.SaveDialog1.FilterIndex, 7);
    TTIFFBitMap tiff;
    LoadFromFile(tiff, dir / "stack.tif");
    const DecodedImage png = ReadPng(dir / "stack.png");
    ASSERT_EQ(png.Width, s.ws.ImageWidth);
    ASSERT_EQ(png.Height, s.ws.ImageHeight);
    ASSERT_EQ(png.Channels, 3);
    int differences = 0;
    for (int y = 0; y < png.Height; ++y)
        for (int x = 0; x < png.Width; ++x)
            for (int c = 0; c < 3; ++c) differences += png.At(x, y, c) != tiff.Sample(x, y, c);
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(ReadRecipe(dir / "stack.png"), ReadRecipe(dir / "stack.tif"));
    EXPECT_FALSE(a.t.host.Showed(" Overwrite existing file ?"));

    a.t.WriteFile(dir / "stack.png", "earlier result");
    a.t.host.Answers.push_back(Answer::No);
    a.t.host.SaveChoices.push_back(FileChoice{{(dir / "stack").string()}, 7});
    s.Dispatch("SaveButton", Event::Click);
    EXPECT_TRUE(a.t.host.Showed(" Overwrite existing file ?"));
    EXPECT_EQ(Contents(dir / "stack.png"), "earlier result");
}

TEST(WaveletSave, AnExistingFileIsReplacedOnlyAfterYes) {
    const struct {
        std::string typed;
        int type;
        std::string written;
    } targets[] = {{"old.bmp", 1, "old.bmp"}, {"old.png", 2, "old.jpg"}, {"old", 4, "old.tif"}};
    for (const auto& target : targets)
        for (const Answer answer : {Answer::No, Answer::Yes}) {
            ProcessedResult r;
            const fs::path path = r.t.appDir / target.written;
            r.t.WriteFile(path, "earlier result");
            r.t.host.Answers.push_back(answer);
            r.Save(target.typed, target.type);
            EXPECT_TRUE(r.t.host.Showed(" Overwrite existing file ?")) << target.written;
            EXPECT_EQ(Contents(path) == "earlier result", answer == Answer::No) << target.written;
            // Written or not, the caption returns to the saved form.
            EXPECT_EQ(r.t.host.Caption, r.SavedCaption()) << target.written;
        }
}

TEST(WaveletSave, FitsIsWrittenWithoutTheSaveQuestion) {
    // The name stays as typed and the save does not ask; the FITS writer itself still asks
    // before replacing a channel file (answered Yes here), under the name it really writes.
    // In colour each channel has its file.
    for (const bool colour : {false, true}) {
        ProcessedResult r;
        r.s.form.ColourStack.Checked = colour;
        r.t.WriteFile(r.t.appDir / "stack.fit", "earlier result");
        r.t.WriteFile(r.t.appDir / "stack_G.fit", "earlier result");
        r.Save("stack.fit", 3);
        EXPECT_FALSE(r.t.host.Showed(" Overwrite existing file ?")) << colour;
        const std::vector<std::pair<std::string, int>> files =
            colour ? std::vector<std::pair<std::string, int>>{{"stack_R.fit", 0}, {"stack_G.fit", 1}, {"stack_B.fit", 2}}
                   : std::vector<std::pair<std::string, int>>{{"stack.fit", 1}};
        for (const auto& [name, channel] : files) {
            const FitsFile fits = LoadFitsFile(r.t.appDir / name);
            int differences = 0;
            ReadFitsRows(fits, fits.Header.Width, fits.Header.Height, [&](int x, int y, int64_t v) {
                differences += v != r.s.ws.StackTiff.Sample(x, y, channel);
            });
            EXPECT_EQ(differences, 0) << name;
        }
    }
}

TEST(WaveletSave, CancelWritesNothingAndStillSetsTheCaption) {
    ProcessedResult r;
    auto files = [&r] { return std::distance(fs::directory_iterator(r.t.appDir.path()), fs::directory_iterator()); };
    const auto filesBefore = files();
    const std::string saveDirBefore = r.t.UserValue("Files", "SaveDir");
    r.s.Dispatch("SaveBMP2button", Event::Click);  // no scripted choice: the dialog is cancelled
    EXPECT_EQ(r.t.host.SaveRequests.size(), 1u);
    EXPECT_EQ(r.t.host.Caption, r.SavedCaption());
    EXPECT_EQ(r.t.UserValue("Files", "SaveDir"), saveDirBefore);
    EXPECT_EQ(files(), filesBefore);
}

TEST(WaveletSave, SaveSubOpensTheDialogInTheInputSubfolder) {
    ProcessedResult r;
    Controls& f = r.s.form;
    const fs::path input = r.t.appDir / "input";
    fs::create_directories(input);
    f.DirectoryListBox1.Directory = input.string();

    f.SaveSub.Checked = true;
    r.s.Dispatch("SaveSub", Event::Click);
    EXPECT_TRUE(f.Subdirname.Visible);
    EXPECT_EQ(f.Subdirname.Text, "processed");
    r.s.Dispatch("SaveBMP2button", Event::Click);
    EXPECT_TRUE(fs::is_directory(input / "processed"));
    EXPECT_EQ(r.t.host.SaveRequests.back().InitialDir, (input / "processed").string());

    // The stack's save takes the same subfolder, named afresh.
    f.Subdirname.Text = "stacks";
    r.s.Dispatch("SaveButton", Event::Click);
    EXPECT_TRUE(fs::is_directory(input / "stacks"));
    EXPECT_EQ(r.t.host.SaveRequests.back().InitialDir, (input / "stacks").string());

    // Without an input folder nothing is made in whatever folder the program runs in.
    f.DirectoryListBox1.Directory.clear();
    f.Subdirname.Text = "talvenor-no-such-subfolder";
    r.s.Dispatch("SaveBMP2button", Event::Click);
    EXPECT_FALSE(fs::exists("talvenor-no-such-subfolder"));
    EXPECT_NE(r.t.host.SaveRequests.back().InitialDir, "talvenor-no-such-subfolder");

    f.SaveSub.Checked = false;
    r.s.Dispatch("SaveSub", Event::Click);
    EXPECT_FALSE(f.Subdirname.Visible);
}

TEST(WaveletSave, MissingResultIsAnErrorAndLeavesTheCaption) {
    const struct {
        int type;
        std::string typed, written;
    } cases[] = {{1, "empty.bmp", "empty.bmp"}, {2, "empty.jpg", "empty.jpg"}, {3, "empty.fit", "empty.fit"},
                 {4, "empty.tif", "empty.tif"}, {5, "empty.png", "empty.png"}};
    for (const auto& c : cases) {
        ProcessedResult r;
        r.s.form.ProcessImage.Image = Bitmap24();
        r.s.ws.StackTiff.FreeWide();
        r.t.host.Caption = "before";
        r.t.host.SaveChoices.push_back(FileChoice{{(r.t.appDir / c.typed).string()}, c.type});
        EXPECT_THROW(r.s.Dispatch("SaveBMP2button", Event::Click), Error) << c.typed;
        EXPECT_EQ(r.t.host.Caption, "before") << c.typed;
        EXPECT_FALSE(fs::exists(r.t.appDir / c.written)) << c.typed;
    }
}

TEST(SaveWideImage, RefusesAnImageSmallerThanAsked) {
    testing::TempDir dir;
    TTIFFBitMap image;
    image.CreateWide(4, 3);
    const struct {
        int width, height;
        bool ok;
    } cases[] = {{4, 3, true}, {3, 2, true}, {5, 3, false}, {4, 4, false}, {0, 3, false}};
    for (const auto& c : cases) {
        const fs::path path = dir / ("w" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".tif");
        if (c.ok) {
            SaveWideImage(image, c.width, c.height, path);
            TTIFFBitMap back;
            LoadFromFile(back, path);
            EXPECT_EQ(back.Width(), c.width);
            EXPECT_EQ(back.Height(), c.height);
        } else {
            EXPECT_THROW(SaveWideImage(image, c.width, c.height, path), Error) << c.width << " x " << c.height;
            EXPECT_FALSE(fs::exists(path));
        }
    }
}

}  // namespace
}  // namespace talvenor
