#include "rtl/stringlist.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class StringList : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()) << "no temporary folder"; }

    std::string path(const std::string& name = "lvdnpath.ini") const {
        return (dir_ / name).string();
    }
    void write(const std::string& content, const std::string& name = "lvdnpath.ini") {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string read(const std::string& name = "lvdnpath.ini") const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    testsupport::TempFolder temp_{"velda-strings"};
    const fs::path dir_ = temp_.path();
};

TEST_F(StringList, LinesAndIndexChecks) {
    rtl::TStringList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Add("one"), 0);
    EXPECT_EQ(list.Add("two"), 1);
    list.Insert(0, "zero");
    list.Insert(3, "three");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Strings(0), "zero");
    EXPECT_EQ(list.Strings(3), "three");
    list.SetStrings(1, "ONE");
    list.Delete(2);
    EXPECT_EQ(list.Text(), "zero\r\nONE\r\nthree\r\n");
    EXPECT_EQ(list.IndexOf("one"), 1);
    EXPECT_EQ(list.IndexOf("four"), -1);

    try {
        list.Strings(3);
        FAIL() << "no exception";
    } catch (const rtl::EStringListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(list.Strings(-1), rtl::EStringListError);
    EXPECT_THROW(list.Delete(3), rtl::EStringListError);
    EXPECT_THROW(list.SetStrings(-2, "x"), rtl::EStringListError);
    EXPECT_THROW(list.Insert(5, "x"), rtl::EStringListError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(StringList, NamesAndValues) {
    rtl::TStringList list;
    list.Add("no equals here");
    list.Add("FILEPATH= /tmp/a b.txt ");
    list.Add("filepath=second");
    list.Add("=empty name");
    list.Add("other=x=y");
    EXPECT_EQ(list.IndexOfName("filepath"), 1);
    EXPECT_EQ(list.Values("filepath"), " /tmp/a b.txt ");  // everything after "=", blanks included
    EXPECT_EQ(list.Values("OTHER"), "x=y");
    EXPECT_EQ(list.Values("no equals here"), "");
    EXPECT_EQ(list.IndexOfName("no equals here"), -1);
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.IndexOfName(" filepath"), -1);  // names are not trimmed
    EXPECT_EQ(list.Names(1), "FILEPATH");
    EXPECT_EQ(list.ValueFromIndex(4), "x=y");
    EXPECT_EQ(list.Names(0), "no equals here");
    EXPECT_EQ(list.ValueFromIndex(0), "");
    EXPECT_EQ(list.IndexOfName(""), 3);
}

TEST_F(StringList, SettingValues) {
    rtl::TStringList list;
    list.Add("first=1");
    list.Add("FILEPATH=old");
    list.Add("last=9");
    list.SetValues("filepath", "/new/name.txt");  // replaced in place, name as given
    EXPECT_EQ(list.Text(), "first=1\r\nfilepath=/new/name.txt\r\nlast=9\r\n");
    list.SetValues("added", "v");  // appended as the last line
    EXPECT_EQ(list.Strings(3), "added=v");
    list.SetValues("filepath", "");  // the empty value removes the line
    EXPECT_EQ(list.Text(), "first=1\r\nlast=9\r\nadded=v\r\n");
    list.SetValues("not there", "");
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(StringList, TextSplitsOnEveryLineEnd) {
    rtl::TStringList list;
    list.SetText("a\r\nb\nc\rd\r\n\r\ne");
    ASSERT_EQ(list.Count(), 6);
    EXPECT_EQ(list.Strings(2), "c");
    EXPECT_EQ(list.Strings(3), "d");
    EXPECT_EQ(list.Strings(4), "");
    EXPECT_EQ(list.Strings(5), "e");
    list.SetText("one\r\n");
    EXPECT_EQ(list.Count(), 1);  // no empty line after the last end
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("\n\r");  // LF, then CR: two empty lines
    EXPECT_EQ(list.Count(), 2);
    list.SetText(
        "\xEF\xBB\xBF"
        "filepath=x");
    EXPECT_EQ(list.Values("filepath"), "x");
}

TEST_F(StringList, SaveAndLoadRoundTrip) {
    rtl::TStringList list;
    list.Add("filepath=/home/clerk/download.txt");
    list.Add("# other line ");
    list.Add("");
    list.Add("bytes=\xE9\t;");
    list.SaveToFile(path());
    EXPECT_EQ(read(),
              "filepath=/home/clerk/download.txt\r\n# other line \r\n\r\nbytes=\xE9\t;\r\n");

    rtl::TStringList loaded;
    loaded.Add("to be replaced");
    loaded.LoadFromFile(path());
    ASSERT_EQ(loaded.Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(loaded.Strings(i), list.Strings(i));
    EXPECT_EQ(loaded.Values("FilePath"), "/home/clerk/download.txt");

    // An empty list saves an empty file; a list saved over a longer file leaves nothing behind.
    rtl::TStringList empty;
    empty.SaveToFile(path());
    EXPECT_EQ(read(), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              1);  // no leftovers
}

TEST_F(StringList, LoadAcceptsLfAndCrFiles) {
    write("filepath=a\nx=1\rlast");
    rtl::TStringList list;
    list.LoadFromFile(path());
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Values("filepath"), "a");
    list.SaveToFile(path());
    EXPECT_EQ(read(), "filepath=a\r\nx=1\r\nlast\r\n");
}

TEST_F(StringList, FileNamesResolveWithoutRegardToCase) {
    write("filepath=x\n", "LVDNPATH.INI");
    rtl::TStringList list;
    list.LoadFromFile(path("lvdnpath.ini"));
    EXPECT_EQ(list.Values("filepath"), "x");
    list.SetValues("filepath", "y");
    list.SaveToFile(path("lvdnpath.ini"));  // writes the file that is there
    EXPECT_EQ(read("LVDNPATH.INI"), "filepath=y\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              1);  // no second file
}

TEST_F(StringList, SaveKeepsTheFileModeAndFollowsLinks) {
    write("a=1\n", "real.ini");
    ::chmod(path("real.ini").c_str(), 0640);
    fs::create_symlink(path("real.ini"), path("link.ini"));
    rtl::TStringList list;
    list.Add("a=2");
    list.SaveToFile(path("link.ini"));
    EXPECT_TRUE(fs::is_symlink(path("link.ini")));
    EXPECT_EQ(read("real.ini"), "a=2\r\n");
    EXPECT_EQ(fs::status(path("real.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(StringList, FileErrorsNameTheFile) {
    rtl::TStringList list;
    list.Add("keep");
    const std::string missing = path("missing.ini");
    try {
        list.LoadFromFile(missing);
        FAIL() << "no exception";
    } catch (const rtl::EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    EXPECT_EQ(list.Count(), 1);  // a failed load leaves the list alone
    EXPECT_THROW(list.LoadFromFile(dir_.string()), rtl::EFOpenError);

    const std::string nowhere = path("no/such/folder.ini");
    try {
        list.SaveToFile(nowhere);
        FAIL() << "no exception";
    } catch (const rtl::EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + nowhere + "\". No such file or directory");
    }
    try {
        list.SaveToFile(dir_.string());
        FAIL() << "no exception";
    } catch (const rtl::EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + dir_.string() + "\". Is a directory");
    }
}

TEST_F(StringList, SameTextAnsi) {
    EXPECT_TRUE(rtl::SameTextAnsi("FilePath", "filepath"));
    EXPECT_TRUE(rtl::SameTextAnsi("\xC9\x8A\xDE", "\xE9\x9A\xFE"));  // É Š Þ
    EXPECT_FALSE(rtl::SameTextAnsi("\xD7", "\xF7"));                 // × and ÷ are no letters
    EXPECT_FALSE(rtl::SameTextAnsi("a", "ab"));
    EXPECT_FALSE(rtl::SameTextAnsi("[", "{"));
}

}  // namespace
