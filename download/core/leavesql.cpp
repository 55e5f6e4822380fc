// The leave selection statement, built from fixed pieces, and the layouts' approval clauses.
#include <cstdio>

#include "download/core/leavedownload.h"

namespace download {

std::optional<TOutputLayout> LayoutOfIndex(int index) {
    if (index < 0 || index > 3) return std::nullopt;
    return static_cast<TOutputLayout>(index);
}

namespace {

// Only the date part counts: a time of day never moves the range.
std::string SqlDate(rtl::TDateTime value) {
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(value, year, month, day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// The transactions' date range, both ends included.
std::string DateRangeClause(rtl::TDateTime from, rtl::TDateTime to) {
    return R"( AND ((LEAV_TRX."DATE" >= ')" + SqlDate(from) + R"(') AND (LEAV_TRX."DATE" <= ')" +
           SqlDate(to) + "'))";
}

const char* ApprovalClause(TOutputLayout layout) {
    switch (layout) {
        case TOutputLayout::Extended1:
            return R"( AND ((LEAV_TRX."APPROVED"='Y') OR (LEAV_TRX."APPROVED"='N')))";
        case TOutputLayout::Standard:
        case TOutputLayout::Extended2:
        case TOutputLayout::Extended3:
            break;
    }
    return R"( AND (LEAV_TRX."APPROVED"='Y'))";
}

}  // namespace

std::string LeaveSelectionSql(rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout) {
    std::string sql;
    sql += R"(SELECT EMPLOYEE."EMP_NO", EMPLOYEE."DEPARTMENT_CODE", EMPLOYEE."CATEGORY_CODE", )"
           R"(EMPLOYEE."TERMINATION_DATE", EMPLOYEE."HIRED_DATE",)";
    sql += R"( LEAV_TRX."EMPCODE",LEAV_TRX."LEAVE_CODE",LEAV_TRX."DATE",LEAV_TRX."DAY",)"
           R"(LEAV_TRX."HOUR",LEAV_TRX."APPROVED",LEAV_TRX."ID")";
    sql += R"( FROM "EMPLOYEE.ADT" EMPLOYEE, "LEAV_TRX.ADT" LEAV_TRX)";
    sql += R"( WHERE (EMPLOYEE."EMP_NO" = LEAV_TRX."EMPCODE"))";
    sql += DateRangeClause(from, to);
    sql += ApprovalClause(layout);
    sql += R"( ORDER BY LEAV_TRX."EMPCODE", LEAV_TRX."LEAVE_CODE", LEAV_TRX."DATE")";
    return sql;
}

std::string ApplicationSelectionSql(rtl::TDateTime from, rtl::TDateTime to, TOutputLayout layout) {
    // Plain equalities, so that SQLite indexes the join by itself; rows with an empty leave
    // code or ID never match here (the lookup asks the walk's way for those). No DISTINCT: an
    // application comes once per selected transaction of its key, and the lookup counts only
    // candidates that show other texts than the first (a sort for DISTINCT costs the server
    // more than the repeats cost the client).
    std::string sql =
        R"(SELECT a."EMPCODE", a."leave_code", a."ID", a."AMPM", a."REFERENCE", )"
        R"(a."REMARKS" FROM "LEAV_TRX.ADT" LEAV_TRX, "empleave.adt" a)"
        R"( WHERE (a."EMPCODE" = LEAV_TRX."EMPCODE") AND (a."leave_code" = LEAV_TRX."LEAVE_CODE"))"
        R"( AND (a."ID" = LEAV_TRX."ID"))";
    sql += DateRangeClause(from, to);
    sql += ApprovalClause(layout);
    return sql;
}

}  // namespace download
