// Runs the engine fuzz target over a generated corpus: random scripts, scripts built from
// sensible calls, and damaged table files.
#include <gtest/gtest.h>

#include <random>

#include "fuzz/engine_target.h"

namespace {

std::vector<uint8_t> randomInput(std::mt19937& random, size_t size, uint8_t mode) {
    std::vector<uint8_t> input(size);
    for (auto& b : input) b = static_cast<uint8_t>(random());
    input[0] = static_cast<uint8_t>((input[0] & ~3u) | mode);
    return input;
}

TEST(FuzzCorpus, RandomScriptsNeverCrash) {
    std::mt19937 random(1234);
    for (int i = 0; i < 150; ++i) {
        auto input = randomInput(random, 20 + random() % 600, 0);
        veldafuzz::runOne(input.data(), input.size());
    }
}

TEST(FuzzCorpus, ScriptsOfAppendsSeeksAndScopesNeverCrash) {
    std::mt19937 random(99);
    int withRows = 0;
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> input{0};
        for (int op = 0; op < 80; ++op) {
            // Mostly appends with values, writes and navigation, so that seeks meet rows.
            static const uint8_t common[] = {0, 1,  2,  2,  3,        5,         6,  8,
                                             9, 10, 13, 14, 0x10 | 5, 0x20 | 13, 12, 15};
            uint8_t code = common[random() % sizeof common];
            input.push_back(code);
            for (int k = 0; k < 12; ++k)
                input.push_back(static_cast<uint8_t>(random() % 64 + (k % 3 ? 32 : 0)));
        }
        veldafuzz::runOne(input.data(), input.size());
        ADSHANDLE t = 0;
        UNSIGNED32 count = 0;
        ASSERT_EQ(AdsOpenTable(veldafuzz::connection(), veldafuzz::u8("script"), nullptr, ADS_ADT,
                               ADS_ANSI, 1, 1, 0, &t),
                  AE_SUCCESS);
        (void)AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count);
        (void)AdsCloseTable(t);
        withRows += count > 0;
    }
    EXPECT_GT(withRows, 30);  // the corpus reaches tables with rows
}

TEST(FuzzCorpus, FilterExpressionsOfAnyTextNeverCrash) {
    std::mt19937 random(31);
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> input{0};
        for (int op = 0; op < 40; ++op) {
            // Appends with values, and filters set, evaluated and walked.
            static const uint8_t common[] = {0, 2, 3, 17, 17, 17, 0x10 | 17, 0x20 | 17, 5, 6};
            input.push_back(common[random() % sizeof common]);
            for (int k = 0; k < 24; ++k) input.push_back(static_cast<uint8_t>(random() % 0xF8));
        }
        veldafuzz::runOne(input.data(), input.size());
    }
    // Arbitrary bytes straight into the translator.
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable(veldafuzz::connection(), veldafuzz::u8("script"), nullptr, ADS_ADT,
                           ADS_ANSI, 1, 1, 0, &t),
              AE_SUCCESS);
    for (int i = 0; i < 2000; ++i) {
        std::string text(random() % 40, ' ');
        for (char& c : text) c = static_cast<char>(1 + random() % 255);
        if (AdsSetAOF(t, veldafuzz::u8(text.c_str()), 2) == AE_SUCCESS) (void)AdsGotoTop(t);
        UNSIGNED16 result = 0;
        (void)AdsEvalLogicalExpr(t, veldafuzz::u8(text.c_str()), &result);
    }
    // Texts of the language's tokens: some of them are filters the table takes and walks.
    int taken = 0;
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> bytes(64);
        for (auto& b : bytes) b = static_cast<uint8_t>(random() % 0xF0);
        bytes[0] = static_cast<uint8_t>(1 + random() % 6);
        veldafuzz::Input in(bytes.data(), bytes.size());
        std::string text = veldafuzz::expressionText(in);
        if (AdsSetAOF(t, veldafuzz::u8(text.c_str()), 2) != AE_SUCCESS) continue;
        ++taken;
        (void)AdsGotoBottom(t);
        (void)AdsSkip(t, -1);
    }
    EXPECT_GT(taken, 20);
    (void)AdsCloseTable(t);
}

TEST(FuzzCorpus, SqlStatementsAndParametersNeverCrash) {
    std::mt19937 random(77);
    for (int i = 0; i < 60; ++i) {
        auto input = randomInput(random, 20 + random() % 400, 2);
        veldafuzz::runOne(input.data(), input.size());
    }
    // Statements made mostly of dialect tokens, so that many of them parse and run.
    for (int i = 0; i < 60; ++i) {
        std::vector<uint8_t> input{2};
        for (int op = 0; op < 12; ++op) {
            input.push_back(static_cast<uint8_t>(random() % 3 ? 0 : random()));
            input.push_back(static_cast<uint8_t>(4 + random() % 12));
            for (int k = 0; k < 16; ++k) input.push_back(static_cast<uint8_t>(random() % 0xF0));
        }
        veldafuzz::runOne(input.data(), input.size());
    }
}

TEST(FuzzCorpus, DamagedTableFilesNeverCrash) {
    std::mt19937 random(5);
    for (int i = 0; i < 120; ++i) {
        auto input = randomInput(random, 1 + 3 * (1 + random() % 12), 1);
        veldafuzz::runOne(input.data(), input.size());
    }
}

}  // namespace
