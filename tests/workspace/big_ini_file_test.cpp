#include "workspace/big_ini_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class BigIniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("talvenor_bigini_" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path File(const std::string& name) const { return dir_ / name; }
    static void Put(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    static std::string Get(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t EntriesInDir() const {
        return std::size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
};

TEST_F(BigIniFileTest, WritesSectionsWithCrLfAndSkipsEmptyOnes) {
    const fs::path p = File("out.ini");
    {
        TBigIniFile ini(p);
        ini.WriteString("IShifts", "Xa0", "3");
        ini.WriteString("Ishifts", "Ya0", "-4");  // same section, other spelling
        ini.WriteString("Empty", "k", "v");
        ini.DeleteKey("EMPTY", "K");
        ini.WriteInteger("Info", "Q0", 17);
        ini.WriteBool("Info", "B", true);
        EXPECT_EQ(ini.ReadSections(), (Lines{"IShifts", "Empty", "Info"}));
        EXPECT_EQ(ini.ReadSection("ishifts"), (Lines{"Xa0", "Ya0"}));
    }  // released: writes the file
    EXPECT_EQ(Get(p), "[IShifts]\r\nXa0=3\r\nYa0=-4\r\n\r\n[Info]\r\nQ0=17\r\nB=1\r\n\r\n");
    EXPECT_EQ(EntriesInDir(), 1u);  // no temporary left behind
}

TEST_F(BigIniFileTest, ReadsFilesAsWritten) {
    const std::string longValue(300, 'v');
    const fs::path p = File("in.ini");
    Put(p, "orphan=1\n[Input]\r\n\r\nfiletype=AVI\nFileDir=C:\\caps=old\n[notheader\n"
           "key=" + longValue + "\r\n[Shifts]\nX0=1\n[INPUT]\nfiletype=BMP\nextra=2\n"
           "[Shifts]\nX0=9\n[]\nnameless=1");
    TBigIniFile ini(p);
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ini.ReadSections(), (Lines{"Input", "Shifts", ""}));
    EXPECT_EQ(ini.ReadSectionValues("input"),
              (Lines{"filetype=AVI", "FileDir=C:\\caps=old", "[notheader",
                     "key=" + longValue.substr(0, 251)}));  // line cut to 255 characters
    EXPECT_EQ(ini.ReadString("INPUT", "filedir", "?"), "C:\\caps=old");
    EXPECT_EQ(ini.ReadString("Input", "extra", "absent"), "absent");  // lost with the duplicate
    EXPECT_EQ(ini.ReadString("Shifts", "X0", ""), "1");
    EXPECT_EQ(ini.ReadString("", "nameless", ""), "1");
    EXPECT_EQ(ini.ReadString("orphan", "orphan", "dropped"), "dropped");
}

TEST_F(BigIniFileTest, CallbackMayKeepTheLaterDuplicate) {
    const fs::path p = File("dup.ini");
    Put(p, "[Input]\na=1\n[Form]\nf=1\n[input]\na=2\n");
    std::vector<std::string> asked;
    TBigIniFile ini(p, {}, [&](const TSection& earlier, const TSection& later) {
        asked.push_back(earlier.Name() + "/" + later.Name());
        return true;
    });
    EXPECT_EQ(asked, (Lines{"Input/input"}));
    EXPECT_EQ(ini.ReadSections(), (Lines{"Form", "input"}));
    EXPECT_EQ(ini.ReadInteger("Input", "a", 0), 2);
}

TEST_F(BigIniFileTest, ReadIntegerAndBool) {
    struct Case { const char* stored; int expected; };
    const Case cases[] = {
        {"0x1F", 31}, {"0X1f", 31}, {"0xFFFFFFFF", -1}, {"42", 42}, {"-7", -7}, {"+5", 5},
        {"abc", -99}, {"12abc", -99}, {"0x", -99}, {"0x1G", -99}, {"", -99}, {" 4", -99},
        {"+-5", -99}, {"1.5", -99}, {"99999999999", -99}, {"0x123456789", -99},
    };
    TBigIniFile ini("");
    for (const Case& c : cases) {
        ini.WriteString("S", "k", c.stored);
        EXPECT_EQ(ini.ReadInteger("S", "k", -99), c.expected) << '"' << c.stored << '"';
    }
    EXPECT_EQ(ini.ReadInteger("S", "missing", 5), 5);
    ini.WriteString("S", "b", "2");
    EXPECT_TRUE(ini.ReadBool("S", "b", false));
    ini.WriteBool("S", "b", false);
    EXPECT_FALSE(ini.ReadBool("S", "b", true));
    EXPECT_TRUE(ini.ReadBool("S", "missing", true));
}

TEST_F(BigIniFileTest, ModifiedFlagFollowsRealChanges) {
    const fs::path p = File("flag.ini");
    TBigIniFile ini(p);
    ini.WriteString("S", "k", "1");
    ini.UpdateFile();
    EXPECT_FALSE(ini.Modified());
    ini.WriteString("s", "k", "1");  // the same line, found through another spelling
    ini.DeleteKey("S", "absent");
    ini.EraseSection("Absent");
    EXPECT_FALSE(ini.Modified());
    ini.WriteString("S", "k", "2");
    EXPECT_TRUE(ini.Modified());
    ini.UpdateFile();
    ini.WriteString("S", "K", "2");  // the key's spelling is part of the line
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(ini.ReadSectionValues("S"), (Lines{"K=2"}));
}

TEST_F(BigIniFileTest, EmptyKeyErasesSectionOrWritesFile) {
    const fs::path p = File("empty_key.ini");
    TBigIniFile ini(p);
    ini.WriteString("A", "k", "1");
    ini.WriteString("", "k", "2");
    ini.WriteString("B", "k", "3");
    ini.WriteString("A", "", "");  // section given: erase it
    ini.WriteString("", "", "x");  // value given: erase the section named ""
    EXPECT_EQ(ini.ReadSections(), (Lines{"B"}));
    EXPECT_FALSE(fs::exists(p));
    ini.WriteString("", "", "");  // nothing given: write the file now
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(Get(p), "[B]\r\nk=3\r\n\r\n");
}

TEST_F(BigIniFileTest, AppendFileAddsNewSectionsOnly) {
    const fs::path project = File("p.rsp");
    const fs::path extra = File("savetempor.ini");
    Put(extra, "[Form]\r\nRxSlider3_Position=50\r\n[Input]\r\nfiletype=TIF\r\n");
    {
        TBigIniFile ini(project);
        ini.WriteString("Input", "filetype", "AVI");
        ini.UpdateFile();
        EXPECT_FALSE(ini.AppendFile(File("missing.ini")));
        EXPECT_FALSE(ini.Modified());
        EXPECT_TRUE(ini.AppendFile(extra));
        EXPECT_TRUE(ini.Modified());
    }
    EXPECT_EQ(Get(project), "[Input]\r\nfiletype=AVI\r\n\r\n[Form]\r\nRxSlider3_Position=50\r\n\r\n");
}

TEST_F(BigIniFileTest, RoundTripKeepsValuesAndEditsStayConsistent) {
    const fs::path p = File("big.rsp");
    constexpr int kFrames = 5001;
    {
        TBigIniFile ini(p);
        ini.WriteString("Input", "filedir", "/data/a=b=c");
        for (int i = 0; i < kFrames; ++i) {
            ini.WriteInteger("Shifts", "X" + std::to_string(i), i);
            ini.WriteInteger("Shifts", "Y" + std::to_string(i), -i);
        }
        ini.DeleteKey("Shifts", "X100");              // shifts the lines behind it
        ini.WriteInteger("Shifts", "y4000", 7);       // found by key after the deletion
        ini.WriteInteger("Shifts", "X100", 100);      // re-added at the end
    }
    TBigIniFile ini(p);
    EXPECT_EQ(ini.ReadString("input", "FILEDIR", ""), "/data/a=b=c");
    EXPECT_EQ(ini.ReadSection("Shifts").size(), std::size_t(2 * kFrames));
    EXPECT_EQ(ini.ReadSection("Shifts").back(), "X100");
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(ini.ReadInteger("Shifts", "X" + std::to_string(i), -1), i);
        ASSERT_EQ(ini.ReadInteger("Shifts", "Y" + std::to_string(i), 1), i == 4000 ? 7 : -i);
    }
}

TEST_F(BigIniFileTest, ReadingOptionsCleanLines) {
    struct Case { TIniReadOptions options; Lines expected; };
    const std::string body = "[S]\n;note\nbare\n key \t= \t\"quoted\" \t\nq='x'\nh=\"x'\n";
    TIniReadOptions comments, equals, trim, quotes, trailing;
    comments.SkipCommentLines = true;
    equals.DropLinesWithoutEquals = true;
    trim.TrimAroundEquals = true;
    quotes.StripValueQuotes = true;
    trailing.TrimTrailing = true;
    TIniReadOptions all{true, true, true, true, true};
    const Case cases[] = {
        {{}, {";note", "bare", " key \t= \t\"quoted\" \t", "q='x'", "h=\"x'"}},
        {comments, {"bare", " key \t= \t\"quoted\" \t", "q='x'", "h=\"x'"}},
        {equals, {" key \t= \t\"quoted\" \t", "q='x'", "h=\"x'"}},
        {trim, {";note", "bare", " key=\"quoted\" \t", "q='x'", "h=\"x'"}},
        {quotes, {";note", "bare", " key \t= \t\"quoted\" \t", "q=x", "h=\"x'"}},
        {trailing, {";note", "bare", " key \t= \t\"quoted\"", "q='x'", "h=\"x'"}},
        {all, {" key=quoted", "q=x", "h=\"x'"}},
    };
    const fs::path p = File("options.ini");
    Put(p, body);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        TBigIniFile ini(p, cases[i].options);
        EXPECT_EQ(ini.ReadSectionValues("S"), cases[i].expected) << "case " << i;
    }
}

TEST_F(BigIniFileTest, FailuresNameTheFileAndLeaveNothingBehind) {
    const fs::path blocked = File("blocked.ini");
    fs::create_directories(blocked / "inside");  // a directory where the file should be
    EXPECT_THROW(TBigIniFile{blocked}, Error);

    TBigIniFile ini(File("fresh.ini"));
    fs::create_directories(File("fresh.ini") / "inside");
    ini.WriteString("S", "k", "v");
    try {
        ini.UpdateFile();
        ADD_FAILURE() << "writing over a directory succeeded";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("fresh.ini"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(ini.Modified());  // still pending: nothing reached the disk
    EXPECT_EQ(EntriesInDir(), 2u);  // the two directories, no temporary file

    // A file in a missing directory fails quietly when released: no exception escapes.
    EXPECT_NO_THROW({
        TBigIniFile lost(File("no/such/dir.ini"));
        lost.WriteString("S", "k", "v");
    });
}

}  // namespace
}  // namespace talvenor
