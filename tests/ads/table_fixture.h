// Tables for the dataset tests, made and filled through the engine's own calls.
#ifndef VELDA_TESTS_ADS_TABLE_FIXTURE_H
#define VELDA_TESTS_ADS_TABLE_FIXTURE_H

#include <string>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "tests/ads/ads_test_support.h"

namespace adstest {

// Creates folder/name with the fields ("NAME,Type[,len[,dec]];...") and tags (tag, expression).
inline void makeTable(const std::string& folder, const std::string& name, const std::string& fields,
                      const std::vector<std::pair<std::string, std::string>>& tags = {}) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS) << engineLastError();
    ASSERT_EQ(AdsCreateTable(c, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECKRIGHTS, 0, u8(fields), &t),
              AE_SUCCESS)
        << engineLastError();
    for (const auto& [tag, expression] : tags) {
        ADSHANDLE index = 0;
        ASSERT_EQ(
            AdsCreateIndex61(t, nullptr, u8(tag), u8(expression), nullptr, nullptr, 0, 512, &index),
            AE_SUCCESS)
            << engineLastError();
    }
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

// Appends rows of texts, one per field in order (an empty text leaves the field empty).
inline void addRows(const std::string& folder, const std::string& name,
                    const std::vector<std::vector<std::string>>& rows) {
    ADSHANDLE c = 0, t = 0;
    ASSERT_EQ(AdsConnect(u8(folder), &c), AE_SUCCESS);
    ASSERT_EQ(AdsOpenTable(c, u8(name), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECKRIGHTS, 0, &t),
              AE_SUCCESS)
        << engineLastError();
    for (const auto& row : rows) {
        ASSERT_EQ(AdsAppendRecord(t), AE_SUCCESS) << engineLastError();
        for (size_t f = 0; f < row.size(); ++f) {
            if (row[f].empty()) continue;
            ASSERT_EQ(
                AdsSetField(t, ADSFIELD(f + 1), u8(row[f]), static_cast<UNSIGNED32>(row[f].size())),
                AE_SUCCESS)
                << engineLastError();
        }
        ASSERT_EQ(AdsWriteRecord(t), AE_SUCCESS) << engineLastError();
    }
    (void)AdsCloseTable(t);
    (void)AdsDisconnect(c);
}

// A form with a free-table connection to a folder.
struct FreeTableForm {
    explicit FreeTableForm(const std::string& folder) : form("FormCompany") {
        connection = form.CreateOwned<ads::TAdsConnection>();
        connection->SetName("DatabaseMain");
        connection->SetConnectPath(folder);
    }
    ads::TAdsTable* table(const std::string& name, const std::string& tableName) {
        auto* t = form.CreateOwned<ads::TAdsTable>();
        t->SetName(name);
        t->SetAdsConnection(connection);
        t->SetTableName(tableName);
        return t;
    }
    TestForm form;
    ads::TAdsConnection* connection = nullptr;
};

}  // namespace adstest

#endif
