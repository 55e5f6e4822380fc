// Benchmark of the employee service figures over 10,000 employees of encrypted tables: the
// first run appends every service row, the second edits them.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "ads/engine_text.h"
#include "app/servicefigures.h"
#include "bench/engine_check.h"
#include "engine/ace.h"

namespace {

using bench::check;

void CreateEncrypted(ADSHANDLE connection, const std::string& name, const std::string& fields,
                     const std::string& tag, const std::string& expression, int employees) {
    ADSHANDLE t = 0, index = 0;
    check(AdsCreateTable(connection, ads::EngineText(name), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                         ads::EngineText(fields), &t),
          "create");
    check(AdsCreateIndex61(t, nullptr, ads::EngineText(tag), ads::EngineText(expression), nullptr,
                           nullptr, 0, 512, &index),
          "index");
    for (int i = 0; i < employees; ++i) {
        char number[16], dob[16], hired[16];
        std::snprintf(number, sizeof number, "E%05d", i);
        std::snprintf(dob, sizeof dob, "%04d%02d%02d", 1960 + i % 40, 1 + i % 12, 1 + i % 28);
        std::snprintf(hired, sizeof hired, "%04d%02d%02d", 1990 + i % 30, 1 + i % 12, 1 + i % 28);
        check(AdsAppendRecord(t), "append");
        check(AdsSetField(t, ads::EngineText("EMP_NO"), ads::EngineText(number), 6), "set");
        check(AdsSetField(t, ads::EngineText("DOB"), ads::EngineText(dob), 8), "set");
        check(AdsSetField(t, ads::EngineText("HIRED_DATE"), ads::EngineText(hired), 8), "set");
        check(AdsWriteRecord(t), "write");
    }
    (void)AdsCloseTable(t);
    check(AdsOpenTable(connection, ads::EngineText(name), nullptr, ADS_ADT, ADS_ANSI, 1, 1,
                       ADS_EXCLUSIVE, &t),
          "open");
    check(AdsEnableEncryption(t, ads::EngineText(ads::kTablePassword)), "password");
    check(AdsEncryptTable(t), "encrypt");
    (void)AdsCloseTable(t);
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    fs::path folder =
        fs::temp_directory_path() / ("velda-bench-service-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    {
        ADSHANDLE c = 0;
        check(AdsConnect(ads::EngineText(folder.string()), &c), "connect");
        CreateEncrypted(c, "EMPLOYEE.adt",
                        "EMP_NO,Character,12;NAME,Character,40;DOB,Date;HIRED_DATE,Date", "EMP_NO",
                        "EMP_NO", 10000);
        CreateEncrypted(c, "EMPSERV.adt",
                        "USERID,Character,8;EMP_NO,Character,12;AGE,Double;LEN_OF_SVS_MTH,Double;"
                        "LEN_OF_SVS_YRS,Double",
                        "EMP_NO", "EMP_NO;USERID", 0);
        (void)AdsDisconnect(c);
    }

    rtl::TComponent form;
    form.SetName("FormLogin");
    auto* connection = form.CreateOwned<ads::TAdsConnection>();
    connection->SetName("DatabaseMain");
    connection->SetConnectPath(folder.string());
    auto open = [&](const char* name, const char* table, const char* order) {
        auto* t = form.CreateOwned<ads::TAdsTable>();
        t->SetName(name);
        t->SetAdsConnection(connection);
        t->SetTableName(table);
        t->SetIndexFieldNames(order);
        t->AfterOpen = [](db::TDataSet* d) {
            ads::ApplyTablePassword(static_cast<ads::TAdsDataSet*>(d), ads::kTablePassword);
        };
        t->Open();
        return t;
    };
    ads::TAdsTable* employees = open("TableEmp", "EMPLOYEE.adt", "EMP_NO");
    ads::TAdsTable* service = open("wwTableServ", "EMPSERV.adt", "EMP_NO;USERID");

    auto run = [&] {
        auto start = std::chrono::steady_clock::now();
        app::ComputeServiceFigures(service, employees, "CLERK1", "202612");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double first = run();
    double second = run();
    std::printf("service_10k_append_s %.3f s\n", first);
    std::printf("service_10k_edit_s %.3f s\n", second);
    std::printf("service_10k_s %.3f s\n", std::max(first, second));
    form.DestroyComponents();
    fs::remove_all(folder);
    return 0;
}
