#include "rtl/inifiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class IniFile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()) << "no temporary folder"; }

    std::string write(const std::string& content, const std::string& name = "VELDA.ini") {
        std::ofstream(dir_ / name, std::ios::binary) << content;
        return (dir_ / name).string();
    }

    testsupport::TempFolder temp_{"velda-ini"};
    const fs::path dir_ = temp_.path();
};

TEST_F(IniFile, ReadsValuesWithoutRegardToCaseAndTrimmed) {
    const std::string path = write(
        "[PATH]\r\n"
        "DICTIONARY=YES\r\n"
        "  DIR  =   /data/master \t\r\n"
        "[Other]\r\n"
        "DIR=elsewhere\r\n");
    rtl::TIniFile ini(path);
    EXPECT_EQ(ini.FileName(), path);
    EXPECT_EQ(ini.ReadString("PATH", "DICTIONARY", ""), "YES");
    EXPECT_EQ(ini.ReadString("path", "dictionary", ""), "YES");
    EXPECT_EQ(ini.ReadString("Path", "dir", ""), "/data/master");
    EXPECT_EQ(ini.ReadString("OTHER", "DIR", ""), "elsewhere");
    // The value's case is kept: the caller compares it exactly.
    EXPECT_EQ(write("[PATH]\nDICTIONARY=yes\n"), path);
    EXPECT_EQ(ini.ReadString("PATH", "DICTIONARY", ""), "yes");
}

TEST_F(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    const std::string path = write("[PATH]\nDIR=x\n");
    EXPECT_EQ(rtl::ReadIniString((dir_ / "none.ini").string(), "PATH", "DIR", "def"), "def");
    EXPECT_EQ(rtl::ReadIniString(path, "NOPE", "DIR", "def"), "def");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "DICTIONARY", ""), "");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "DICTIONARY", "d  "), "d");  // trailing blanks go
    EXPECT_EQ(rtl::ReadIniString(dir_.string(), "PATH", "DIR", "folder"), "folder");
    EXPECT_EQ(rtl::ReadIniString("", "PATH", "DIR", "empty"), "empty");
    EXPECT_EQ(rtl::ReadIniString(write(""), "PATH", "DIR", "def"), "def");
}

TEST_F(IniFile, KeysBelongToTheirSection) {
    const std::string path = write("DIR=top\n[A]\nX=1\n[B]\nDIR=b\n");
    EXPECT_EQ(rtl::ReadIniString(path, "A", "DIR", "none"), "none");
    EXPECT_EQ(rtl::ReadIniString(path, "", "DIR", "none"), "none");  // before any section
    EXPECT_EQ(rtl::ReadIniString(path, "B", "DIR", "none"), "b");
}

TEST_F(IniFile, CommentsAndLinesWithoutEquals) {
    const std::string path = write(
        "; leading comment\n"
        "[Databases]\n"
        ";DEMO=commented\n"
        "   ; DEMO=indented comment\n"
        "DEMO\n"
        "DATA=C:\\DATA;n\n"
        "EMPTY=\n"
        "NOPATH=;A\n");
    EXPECT_EQ(rtl::ReadIniString(path, "Databases", "DEMO", "none"), "none");
    EXPECT_EQ(rtl::ReadIniString(path, "Databases", ";DEMO", "none"), "none");
    EXPECT_EQ(rtl::ReadIniString(path, "Databases", "DATA", ""),
              "C:\\DATA;n");  // ";" in a value stays
    EXPECT_EQ(rtl::ReadIniString(path, "Databases", "EMPTY", "none"), "");
    EXPECT_EQ(rtl::ReadIniString(path, "Databases", "NOPATH", ""), ";A");
}

TEST_F(IniFile, FirstSectionAndFirstKeyWin) {
    const std::string path = write("[S]\nK=first\nk=second\n[s]\nK=third\nONLY=later\n");
    EXPECT_EQ(rtl::ReadIniString(path, "S", "K", ""), "first");
    EXPECT_EQ(rtl::ReadIniString(path, "S", "ONLY", "none"), "none");
}

TEST_F(IniFile, SectionHeadersAndQuotes) {
    const std::string path = write(
        "[ PATH ]\n"
        "Q=\"  quoted  \"\n"
        "S='single'\n"
        "HALF=\"open\n"
        "MIXED=\"a'\n"
        "EQ=a=b\n"
        "[broken\n"
        "B=1\n");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "Q", ""), "  quoted  ");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "S", ""), "single");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "HALF", ""), "\"open");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "MIXED", ""), "\"a'");
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "EQ", ""), "a=b");
    // A header without "]" is no header: its keys still count for the section above.
    EXPECT_EQ(rtl::ReadIniString(path, "PATH", "B", ""), "1");
}

TEST_F(IniFile, ByteOrderMarkAndLineEnds) {
    const std::string bom = write("\xEF\xBB\xBF[PATH]\r\nDIR=bom\r\n", "bom.ini");
    EXPECT_EQ(rtl::ReadIniString(bom, "PATH", "DIR", ""), "bom");
    const std::string lf = write("[PATH]\nDIR=lf\nX=1", "lf.ini");
    EXPECT_EQ(rtl::ReadIniString(lf, "PATH", "DIR", ""), "lf");
    EXPECT_EQ(rtl::ReadIniString(lf, "PATH", "X", ""), "1");  // last line without an end
    const std::string cr = write("[PATH]\rDIR=cr\r", "cr.ini");
    EXPECT_EQ(rtl::ReadIniString(cr, "PATH", "DIR", ""), "cr");
}

TEST_F(IniFile, CaseInsensitiveWindows1252Letters) {
    // "Soci\xE9t\xE9" in Windows-1252, asked for in capitals (E acute is 0xC9).
    const std::string ansi = write("[Soci\xE9t\xE9]\nCl\xE9=v\n", "ansi.ini");
    EXPECT_EQ(rtl::ReadIniString(ansi, "SOCI\xC9T\xC9", "CL\xC9", ""), "v");
}

TEST_F(IniFile, FileNamesResolveLikeWindows) {
    write("[PATH]\nDIR=found\n", "velda.INI");
    EXPECT_EQ(rtl::ReadIniString(dir_.string() + "\\VELDA.ini", "PATH", "DIR", ""), "found");
    // A bare name is looked for in the working folder.
    write("[Databases]\nDEMO=/demo\n", "ADS.INI");
    const fs::path old = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(rtl::IniFilePath("ADS.INI"), "ADS.INI");
    EXPECT_EQ(rtl::ReadIniString("ADS.INI", "Databases", "DEMO", ""), "/demo");
    EXPECT_EQ(rtl::ReadIniString("ads.ini", "databases", "demo", ""), "/demo");
    fs::current_path(old);
}

TEST_F(IniFile, ChangesOnDiskShowAtOnce) {
    const std::string path = write("[S]\nK=1\n");
    rtl::TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", ""), "1");
    write("[S]\nK=2\n");
    EXPECT_EQ(ini.ReadString("S", "K", ""), "2");
}

}  // namespace
