// Server paths told apart from folders, and names added to them before their parameters.
#include "rtl/serverpath.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerPath, IsServerPathByItsSchemeInAnyCase) {
    struct Case {
        const char* path;
        bool server;
    } cases[] = {
        {"postgresql://db.example/velda/", true},
        {"POSTGRES://db.example/velda", true},
        {"PostgreSQL://", true},
        {"postgresql:/db.example/velda/", false},
        {"postgre://db.example/velda/", false},
        {"/srv/velda/", false},
        {"C:\\velda\\", false},
        {"", false},
        {" postgresql://db.example/velda/", false},
    };
    for (const Case& c : cases) EXPECT_EQ(rtl::IsServerPath(c.path), c.server) << c.path;
}

TEST(ServerPath, NamesGoBeforeTheParameters) {
    struct Case {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        {"postgresql://h/velda/", "COMPANY\\A01", "postgresql://h/velda/COMPANY\\A01"},
        {"postgresql://h/velda", "COMPANY\\A01", "postgresql://h/velda/COMPANY\\A01"},
        {"postgresql://h/velda/?sslmode=require", "COMPANY\\A01\\A01.ADD",
         "postgresql://h/velda/COMPANY\\A01\\A01.ADD?sslmode=require"},
        {"postgresql://h/velda?sslmode=require&application_name=x", "COMPANY\\A01",
         "postgresql://h/velda/COMPANY\\A01?sslmode=require&application_name=x"},
        {"postgres://u@%2Ftmp%2Fs:5432/velda/office\\", "COMPANY\\B02",
         "postgres://u@%2Ftmp%2Fs:5432/velda/office\\COMPANY\\B02"},
        // A folder is joined as the program has always joined it.
        {"/srv/velda/", "COMPANY\\A01", "/srv/velda/COMPANY\\A01"},
        {"/srv/velda", "x", "/srv/veldax"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rtl::JoinDatabasePath(c.folder, c.name), c.joined) << c.folder;
}

TEST(ServerPath, FolderSeparatorIsAddedOnce) {
    struct Case {
        const char* folder;
        const char* withSeparator;
    } cases[] = {
        {"/srv/velda", "/srv/velda/"},
        {"/srv/velda/", "/srv/velda/"},
        {"C:\\velda\\", "C:\\velda\\"},
        {"", ""},
        {"postgresql://h/velda", "postgresql://h/velda/"},
        {"postgresql://h/velda/", "postgresql://h/velda/"},
        {"postgresql://h/velda?sslmode=require", "postgresql://h/velda/?sslmode=require"},
        {"postgresql://h/velda/A\\?sslmode=require", "postgresql://h/velda/A\\?sslmode=require"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rtl::WithFolderSeparator(c.folder), c.withSeparator) << c.folder;
}

}  // namespace
