#include "rtl/progfolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class ProgFolder : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()) << "no temporary folder"; }
    void TearDown() override { rtl::ResetProgramFolderForTesting(); }
    void write(const std::string& name) { std::ofstream(dir_ / name) << "x"; }

    testsupport::TempFolder temp_{"velda-progfolder"};
    const fs::path dir_ = temp_.path();
};

TEST_F(ProgFolder, IsTheExecutablesFolderEndingInSlash) {
    const std::string folder = rtl::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.front(), '/');
    EXPECT_TRUE(fs::exists(folder + "tests_rtl"));
    EXPECT_EQ(fs::canonical(folder), fs::canonical(VELDA_BINARY_DIR));
}

TEST_F(ProgFolder, TestOverrideAndReset) {
    const std::string real = rtl::ProgramFolder();
    rtl::SetProgramFolderForTesting(dir_.string());
    EXPECT_EQ(rtl::ProgramFolder(), dir_.string() + "/");
    rtl::SetProgramFolderForTesting(dir_.string() + "/");
    EXPECT_EQ(rtl::ProgramFolder(), dir_.string() + "/");
    rtl::ResetProgramFolderForTesting();
    EXPECT_EQ(rtl::ProgramFolder(), real);
    {
        rtl::ScopedProgramFolderForTesting scoped("/somewhere");
        EXPECT_EQ(rtl::ProgramFolder(), "/somewhere/");
    }
    EXPECT_EQ(rtl::ProgramFolder(), real);
}

TEST_F(ProgFolder, FileExists) {
    write("VELDA.ini");
    EXPECT_TRUE(rtl::FileExists((dir_ / "VELDA.ini").string()));
    EXPECT_TRUE(rtl::FileExists((dir_ / "velda.INI").string()));  // letter case does not matter
    EXPECT_TRUE(rtl::FileExists(dir_.string() + "\\VELDA.ini"));  // nor the separator
    EXPECT_FALSE(rtl::FileExists((dir_ / "ADS.INI").string()));
    EXPECT_FALSE(rtl::FileExists(dir_.string()));  // a folder is not a file
    EXPECT_FALSE(rtl::FileExists(""));
}

TEST_F(ProgFolder, ResolveFileName) {
    fs::create_directory(dir_ / "Company");
    write("Company/Setup.INI");
    const std::string base = dir_.string();
    EXPECT_EQ(rtl::ResolveFileName(base + "/company\\setup.ini"), base + "/Company/Setup.INI");
    EXPECT_EQ(rtl::ResolveFileName(base + "/COMPANY/new.txt"), base + "/Company/new.txt");
    EXPECT_EQ(rtl::ResolveFileName(base + "/missing/Setup.INI"), base + "/missing/Setup.INI");
    EXPECT_EQ(rtl::ResolveFileName(base + "//Company//setup.ini"), base + "/Company/Setup.INI");

    // Relative names resolve against the working folder.
    const fs::path old = fs::current_path();
    fs::current_path(dir_);
    EXPECT_EQ(rtl::ResolveFileName("company/SETUP.ini"), "Company/Setup.INI");
    EXPECT_TRUE(rtl::FileExists("COMPANY\\setup.ini"));
    fs::current_path(old);
}

}  // namespace
