// bench_download's check of a server's download against the folder's.
#include <gtest/gtest.h>

#include <string>

#include "bench/download_files.h"

namespace {

// Lines as the layouts write them: employee (12), leave code (8), date (10), then the rest.
std::string line(const char* employee, const char* code, const char* date, const char* rest) {
    std::string text = employee;
    text.resize(12, ' ');
    std::string leave = code;
    leave.resize(8, ' ');
    return text + leave + date + rest + "\r\n";
}

const std::string kA1 = line("E00001", "AL", "01/02/2025", "  1.00  LA-1");
const std::string kA2 = line("E00001", "AL", "01/02/2025", "  0.50  LA-2");
const std::string kA3 = line("E00001", "AL", "01/02/2025", "  2.00");
const std::string kB = line("E00001", "MC", "01/02/2025", "  1.00");
const std::string kC = line("E00002", "AL", "03/02/2025", "  1.00");

TEST(DownloadFiles, Comparisons) {
    struct Case {
        const char* what;
        std::string server, folder;
        bool identical, sameLines;
        size_t moved, firstByte;
    };
    const size_t a = kA1.size(), b = kB.size(), c = kC.size();
    const Case cases[] = {
        {"byte for byte", kA1 + kB + kC, kA1 + kB + kC, true, true, 0, 0},
        {"two tied lines swapped", kA2 + kA1 + kB, kA1 + kA2 + kB, false, true, 2, 32},
        {"three tied lines rotated", kB + kA3 + kA1 + kA2 + kC, kB + kA1 + kA2 + kA3 + kC, false,
         true, 3, b + 32},
        {"lines of different leave codes swapped", kB + kA1 + kC, kA1 + kB + kC, false, false, 0,
         12},
        {"a tied line changed", kA1 + kA3 + kB, kA1 + kA2 + kB, false, false, 0, a + 32},
        {"a line missing", kA1 + kB, kA1 + kB + kC, false, false, 0, a + b},
        {"a line more", kA1 + kB + kC + kC, kA1 + kB + kC, false, false, 0, a + b + c},
        {"the line ends differ", kA1 + kB, kA1 + kB.substr(0, kB.size() - 2) + "\n", false, false,
         0, a + b - 2},
        {"nothing downloaded where the folder has lines", "", kA1, false, false, 0, 0},
        {"nothing downloaded on either side", "", "", false, false, 0, 0},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.what);
        const bench::FileComparison got = bench::compareDownloads(one.server, one.folder);
        EXPECT_EQ(got.identical, one.identical);
        EXPECT_EQ(got.sameLines, one.sameLines);
        EXPECT_EQ(got.moved, one.moved);
        if (!one.identical) {
            EXPECT_EQ(got.firstByte, one.firstByte);
        }
    }
}

}  // namespace
