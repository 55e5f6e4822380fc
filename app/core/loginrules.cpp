#include "app/core/loginrules.h"

#include "ads/adscnnct.h"
#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "ads/company_credentials.h"
#include "util/StrUtil.h"

namespace app {

const char* LoginRefusalText(LoginRefusal refusal) {
    switch (refusal) {
        case LoginRefusal::YearNotDefined:
            return "Database year not defined";
        case LoginRefusal::WrongUserPassword:
            return "Invalid Pasword !";
        case LoginRefusal::WrongMasterPassword:
            return "Invalid password !";
        case LoginRefusal::UnknownId:
            return "Invalid ID !";
        case LoginRefusal::UnauthorizedUser:
            return "Unauthorized user";
        case LoginRefusal::WrongPassword:
            return "Invalid Password!";
        case LoginRefusal::AlreadyLoggedIn:
            return "User already logged in!";
        case LoginRefusal::None:
        case LoginRefusal::SilentRefusal:
            break;
    }
    return "";
}

LoginPressVerdict JudgeLoginPress(LoginTables& tables, const std::string& id,
                                  const std::string& password) {
    if (const std::optional<LoginUserRow> user = tables.FindUser(id)) {
        if (password == user->Password) return {true, LoginRefusal::None};
        return {false, LoginRefusal::WrongUserPassword};
    }
    if (id == kMasterUserId) {
        if (password == tables.CurrentMasterPassword().value_or(""))
            return {true, LoginRefusal::None};
        return {false, LoginRefusal::WrongMasterPassword};
    }
    if (id == kSuperUserId) {
        if (password == kSuperUserPassword) return {true, LoginRefusal::None};
        return {false, LoginRefusal::SilentRefusal};
    }
    return {false, LoginRefusal::UnknownId};
}

ClosingVerdict JudgeClosingCheck(LoginTables& tables, const std::string& id,
                                 const std::string& password) {
    // Without a setup row there is no master password, not an empty one.
    const bool master = id == kMasterUserId && [&] {
        const std::optional<std::string> masterPassword = tables.CurrentMasterPassword();
        return masterPassword && password == *masterPassword;
    }();
    if ((id == kSuperUserId && password == kSuperUserPassword) || master)
        return {LoginRefusal::None, LoginGrant{"N", "N", "N", ""}};

    const std::optional<LoginUserRow> user = tables.FindUser(id);
    if (!user) return {LoginRefusal::UnauthorizedUser, std::nullopt};
    if (user->Password != password) return {LoginRefusal::WrongPassword, std::nullopt};
    if (user->Lock == "T") return {LoginRefusal::AlreadyLoggedIn, std::nullopt};
    return {LoginRefusal::None,
            LoginGrant{user->HideWage, user->ViewData, user->Audit, user->Printer}};
}

ClosingVerdict LoginOnce(LoginTables& tables, const std::string& id, const std::string& password,
                         const std::string& period) {
    if (!tables.FindYear(util::SubText(period, 1, 4)))
        return {LoginRefusal::YearNotDefined, std::nullopt};
    const LoginPressVerdict press = JudgeLoginPress(tables, id, password);
    if (!press.Close && press.Refusal != LoginRefusal::SilentRefusal)
        return {press.Refusal, std::nullopt};
    return JudgeClosingCheck(tables, id, password);
}

void ApplyCompanyTablePassword(ads::TAdsDataSet* table) {
    if (!table) return;
    const ads::TAdsConnection* connection = table->AdsConnection();
    if (connection && connection->UsesDictionary()) return;
    ads::ApplyTablePassword(table, ads::kTablePassword);
}

bool AdsLoginTables::FindYear(const std::string& year) {
    return setup_->FindByKey({year});
}

std::optional<std::string> AdsLoginTables::CurrentMasterPassword() {
    if (!setup_->Active() || setup_->IsEmpty()) return std::nullopt;
    return setup_->FieldByName("MASTER")->AsString();
}

std::optional<LoginUserRow> AdsLoginTables::FindUser(const std::string& id) {
    if (!users_->FindByKey({id})) return std::nullopt;
    auto text = [this](const char* field) { return users_->FieldByName(field)->AsString(); };
    return LoginUserRow{text("PASSWORD"), text("LOCK"),  text("hidewage"),
                        text("viewdata"), text("audit"), text("printer")};
}

}  // namespace app
