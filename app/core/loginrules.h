// The login's rules without its window: who may work on a company with an ID, a password and a
// payroll period, and the texts of the refusals. The login dialog judges its Login presses and
// its closing check here, velda-export its one login per run, so the two cannot drift apart.
//
// Three kinds of user: rows of the user table "PASS.adt" (by "ID"), the master user "MASTER"
// whose password is the "MASTER" value of the company setup row of the period's year, and the
// built-in super-user. IDs and passwords compare exactly, letter case included.
#ifndef VELDA_APP_CORE_LOGINRULES_H
#define VELDA_APP_CORE_LOGINRULES_H

#include <optional>
#include <string>

namespace ads {
class TAdsDataSet;
class TAdsTable;
}  // namespace ads

namespace app {

inline constexpr const char* kMasterUserId = "MASTER";
inline constexpr const char* kSuperUserId = "QAVRENTO";
inline constexpr const char* kSuperUserPassword = "4821kwvm37";

// What the login reads of a user-table row, as texts.
struct LoginUserRow {
    std::string Password, Lock, HideWage, ViewData, Audit, Printer;
};

// Where the rules look things up. The dialog and the tool answer from their own tables.
class LoginTables {
  public:
    virtual ~LoginTables() = default;
    // Makes the setup row of the year the current one; false when there is no such row.
    virtual bool FindYear(const std::string& year) = 0;
    // The "MASTER" value of the setup table's current row; nothing without a current row.
    virtual std::optional<std::string> CurrentMasterPassword() = 0;
    // The user-table row of the ID; nothing when there is none.
    virtual std::optional<LoginUserRow> FindUser(const std::string& id) = 0;
};

enum class LoginRefusal {
    None,
    YearNotDefined,       // "Database year not defined": no setup row for the period's year
    WrongUserPassword,    // "Invalid Pasword !": Login press, user-table row
    WrongMasterPassword,  // "Invalid password !": Login press, master user
    UnknownId,            // "Invalid ID !": Login press, nobody of that ID
    SilentRefusal,        // the Login press passes the super-user's wrong password over
    UnauthorizedUser,     // "Unauthorized user": closing check, nobody of that ID
    WrongPassword,        // "Invalid Password!": closing check, user-table row
    AlreadyLoggedIn,      // "User already logged in!": the row's "LOCK" is "T"
};

// The text shown for a refusal; empty for None and SilentRefusal.
const char* LoginRefusalText(LoginRefusal refusal);

// A Login press after its year check: either the dialog is asked to close (which runs the
// closing check), or the refusal. REQUIRES: FindYear found the period's year.
struct LoginPressVerdict {
    bool Close = false;
    LoginRefusal Refusal = LoginRefusal::None;
};
LoginPressVerdict JudgeLoginPress(LoginTables& tables, const std::string& id,
                                  const std::string& password);

// The closing check, when the dialog is not given up: the rights granted, or the refusal. The
// master user and the super-user get "N" for every right and no printer.
struct LoginGrant {
    std::string HideWage, ViewData, Audit;
    std::string Printer;  // the row's "printer" text; empty: no printer is selected
};
struct ClosingVerdict {
    LoginRefusal Refusal = LoginRefusal::None;
    std::optional<LoginGrant> Grant;  // set exactly when Refusal is None
};
ClosingVerdict JudgeClosingCheck(LoginTables& tables, const std::string& id,
                                 const std::string& password);

// One login of a program without a window: the year check of the period, one Login press and
// the closing check. A press that the dialog passes over in silence ends, as the user's closing
// of the dialog would then end it, in the closing check's verdict.
ClosingVerdict LoginOnce(LoginTables& tables, const std::string& id, const std::string& password,
                         const std::string& period);

// Gives an opened company table the table password unless the company is a data dictionary
// (whose tables are not encrypted). The after-open step of the company's tables.
void ApplyCompanyTablePassword(ads::TAdsDataSet* table);

// LoginTables over the open company setup table (index "YEAR") and user table (index "ID").
class AdsLoginTables : public LoginTables {
  public:
    AdsLoginTables(ads::TAdsTable* setup, ads::TAdsTable* users) : setup_(setup), users_(users) {}
    bool FindYear(const std::string& year) override;
    std::optional<std::string> CurrentMasterPassword() override;
    std::optional<LoginUserRow> FindUser(const std::string& id) override;

  private:
    ads::TAdsTable* setup_;
    ads::TAdsTable* users_;
};

}  // namespace app

#endif
