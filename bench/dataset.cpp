// Benchmark of appends through the table dataset: Append, field assignment, Post; beside it
// SQLite inserting the same rows into a second table of the same structure and index tag, one
// transaction a row as each Post writes, and their ratio (dataset time over SQLite time).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ads/engine_text.h"
#include "bench/baseline.h"
#include "engine/ace.h"

int main() {
    namespace fs = std::filesystem;
    fs::path folder =
        fs::temp_directory_path() / ("velda-bench-dataset-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    for (const char* name : {"EMPSERV", "EMPSERV2"}) {
        ADSHANDLE c = 0, t = 0, index = 0;
        std::string path = folder.string();
        std::string fields =
            "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;LEN_OF_SVS_"
            "YRS,Double";
        if (AdsConnect(reinterpret_cast<UNSIGNED8*>(path.data()), &c) ||
            AdsCreateTable(c, ads::EngineText(name), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                           reinterpret_cast<UNSIGNED8*>(fields.data()), &t) ||
            AdsCreateIndex61(t, nullptr, ads::EngineText("EMP_NO"),
                             ads::EngineText("EMP_NO;USERID"), nullptr, nullptr, 0, 512, &index)) {
            std::fprintf(stderr, "bench_dataset: cannot create the table\n");
            return 1;
        }
        (void)AdsCloseTable(t);
        (void)AdsDisconnect(c);
    }
    // In turns (bench::Turns): a share of the rows through the dataset, then as many through
    // SQLite, each side's table kept open across the turns.
    const int rows = 20000, turns = 5, perTurn = rows / turns;
    bench::Turns appends;
    {
        rtl::TComponent form;
        auto* connection = form.CreateOwned<ads::TAdsConnection>();
        connection->SetConnectPath(folder.string());
        auto* table = form.CreateOwned<ads::TAdsTable>();
        table->SetAdsConnection(connection);
        table->SetTableName("EMPSERV");
        table->SetIndexFieldNames("EMP_NO;USERID");
        table->Open();
        bench::Baseline sqlite;
        sqlite.open((folder / "EMPSERV2.adt").string());
        sqlite3_stmt* begin = sqlite.prepare("BEGIN IMMEDIATE");
        sqlite3_stmt* commit = sqlite.prepare("COMMIT");
        sqlite3_stmt* insert = sqlite.prepare(
            "INSERT INTO \"records\"(\"USERID\", \"EMP_NO\", \"AGE\", \"LEN_OF_SVS_MTH\","
            " \"LEN_OF_SVS_YRS\") VALUES(?, ?, ?, ?, ?)");
        for (int turn = 0; turn < turns; ++turn) {
            const int first = turn * perTurn;
            auto start = bench::Clock::now();
            for (int i = first; i < first + perTurn; ++i) {
                table->Append();
                table->FieldByName("USERID")->SetAsString("CLERK1");
                table->FieldByName("EMP_NO")->SetAsString("E" + std::to_string(100000 + i));
                table->FieldByName("AGE")->SetAsFloat(30 + i % 30);
                table->FieldByName("LEN_OF_SVS_MTH")->SetAsFloat(i % 400);
                table->FieldByName("LEN_OF_SVS_YRS")->SetAsFloat((i % 400) / 12.0);
                table->Post();
            }
            const double datasetSeconds = bench::seconds(start);
            start = bench::Clock::now();
            for (int i = first; i < first + perTurn; ++i) {
                std::string number = "E" + std::to_string(100000 + i);
                sqlite.run(begin);
                sqlite3_bind_text(insert, 1, "CLERK1", -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 2, number.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(insert, 3, 30 + i % 30);
                sqlite3_bind_double(insert, 4, i % 400);
                sqlite3_bind_double(insert, 5, (i % 400) / 12.0);
                sqlite.run(insert);
                sqlite.run(commit);
            }
            appends.add(datasetSeconds, bench::seconds(start), perTurn);
        }
        sqlite.close();
        form.DestroyComponents();
    }
    appends.print("dataset_append_per_s", "dataset_append_ratio", "rows/s", true);
    fs::remove_all(folder);
    return 0;
}
