#include "app/Login1.h"

#include "ads/adstable.h"
#include "app/core/loginrules.h"
#include "app/pay1.h"
#include "rtl/sysutils.h"
#include "ui/application.h"
#include "ui/printers.h"
#include "util/StrUtil.h"

namespace app {

namespace {

constexpr const char* kCompanyConnection = "FormCompany.DatabaseMain";

// The year in decimal followed by the month as two digits.
std::string PeriodText(int year, int month) {
    return rtl::IntToStr(year) + (month < 10 ? "0" : "") + rtl::IntToStr(month);
}

void Say(const std::string& text) {
    ui::Application().ShowMessage(text);
}

}  // namespace

TFormLogin::TFormLogin(TFormMain* mainWindow) : ui::TForm(nullptr), main_(mainWindow) {
    SetName("FormLogin");
    SetCaption("Login");
    SetBorderStyle(ui::bsDialog);
    SetPosition(ui::poScreenCenter);
    SetKeyPreview(true);
    SetClientSize(272, 190);

    GroupBox1 = CreateOwned<ui::TGroupBox>(this);
    GroupBox1->SetName("GroupBox1");
    GroupBox1->SetCaption("Log in Enrty");
    GroupBox1->SetBounds(8, 6, 256, 128);

    Label5 = CreateOwned<ui::TLabel>(GroupBox1);
    Label5->SetName("Label5");
    Label5->SetCaption("ID :");
    Label5->SetBounds(16, 30, 80, 16);
    EditUser = CreateOwned<ui::TMaskEdit>(GroupBox1);
    EditUser->SetName("EditUser");
    EditUser->SetBounds(104, 26, 120, 22);
    EditUser->SetCharCase(ui::ecUpperCase);
    EditUser->SetMaxLength(8);
    EditUser->SetText("MASTER");
    EditUser->OnClick = [this](rtl::TComponent*) { EditUserClick(); };
    Label5->SetFocusControl(EditUser);

    Label6 = CreateOwned<ui::TLabel>(GroupBox1);
    Label6->SetName("Label6");
    Label6->SetCaption("Password : ");
    Label6->SetBounds(16, 60, 80, 16);
    EditPwd = CreateOwned<ui::TMaskEdit>(GroupBox1);
    EditPwd->SetName("EditPwd");
    EditPwd->SetBounds(104, 56, 120, 22);
    EditPwd->SetMaxLength(12);
    EditPwd->SetPasswordChar('*');
    EditPwd->OnClick = [this](rtl::TComponent*) { EditPwdClick(); };
    Label6->SetFocusControl(EditPwd);

    Label1 = CreateOwned<ui::TLabel>(GroupBox1);
    Label1->SetName("Label1");
    Label1->SetCaption("Period : ");
    Label1->SetBounds(16, 90, 80, 16);
    EditPeriod = CreateOwned<ui::TMaskEdit>(GroupBox1);
    EditPeriod->SetName("EditPeriod");
    EditPeriod->SetBounds(104, 86, 100, 22);
    EditPeriod->SetEditMask("000000;1; ");
    EditPeriod->SetMaxLength(6);
    Label1->SetFocusControl(EditPeriod);
    SpinButton1 = CreateOwned<ui::TSpinButton>(GroupBox1);
    SpinButton1->SetName("SpinButton1");
    SpinButton1->SetBounds(206, 86, 18, 22);
    SpinButton1->OnUpClick = [this](rtl::TComponent*) { SpinButton1UpClick(); };
    SpinButton1->OnDownClick = [this](rtl::TComponent*) { SpinButton1DownClick(); };

    Panel1 = CreateOwned<ui::TPanel>(this);
    Panel1->SetName("Panel1");
    Panel1->SetCaption("");
    Panel1->SetAlign(ui::alBottom);
    Panel1->SetHeight(46);
    BitBtn1 = CreateOwned<ui::TBitBtn>(Panel1);
    BitBtn1->SetName("BitBtn1");
    BitBtn1->SetCaption("&Login");
    BitBtn1->SetFontBold(true);
    BitBtn1->SetDefault(true);
    BitBtn1->SetBounds(40, 9, 88, 28);
    BitBtn1->OnClick = [this](rtl::TComponent*) { BitBtn1Click(); };
    BitBtn2 = CreateOwned<ui::TBitBtn>(Panel1);
    BitBtn2->SetName("BitBtn2");
    BitBtn2->SetCaption("&Logout");
    BitBtn2->SetFontBold(true);
    BitBtn2->SetCancel(true);
    BitBtn2->SetBounds(144, 9, 88, 28);
    BitBtn2->OnClick = [this](rtl::TComponent*) { BitBtn2Click(); };

    struct TableParts {
        ads::TAdsTable** table;
        const char* name;
        const char* file;
        const char* index;
    };
    for (const TableParts& t :
         {TableParts{&TableUser, "TableUser", "PASS.adt", "ID"},
          TableParts{&TableEmp, "TableEmp", "EMPLOYEE.adt", "EMP_NO"},
          TableParts{&wwTableServ, "wwTableServ", "EMPSERV.adt", "EMP_NO;USERID"}}) {
        auto* table = CreateOwned<ads::TAdsTable>();
        table->SetName(t.name);
        table->SetDatabaseName(kCompanyConnection);
        table->SetTableName(t.file);
        table->SetIndexFieldNames(t.index);
        table->AfterOpen = [this](db::TDataSet* dataSet) { TableUserAfterOpen(dataSet); };
        *t.table = table;
    }

    OnCreate = [this](rtl::TComponent*) { FormCreate(); };
    OnShow = [this](rtl::TComponent*) { FormShow(); };
    OnCloseQuery = [this](rtl::TComponent*, bool& canClose) { FormCloseQuery(canClose); };
}

TFormLogin::~TFormLogin() {
    // The components (and their handlers' calls into this object) go before the fields do.
    DestroyComponents();
}

bool TFormLogin::RunLogin() {
    GiveUp.clear();
    ShowModal();
    return LoginOK;
}

void TFormLogin::FormCreate() {
    TableUser->Open();
    TableEmp->Open();
    wwTableServ->Open();
}

void TFormLogin::TableUserAfterOpen(db::TDataSet* dataSet) {
    ApplyCompanyTablePassword(dynamic_cast<ads::TAdsDataSet*>(dataSet));
}

void TFormLogin::FormShow() {
    EditPwd->Clear();
    Attempts = 1;
    int year = 0, month = 0, day = 0;
    rtl::DecodeDate(rtl::Date(), year, month, day);
    EditPeriod->SetText(PeriodText(year, month));
}

void TFormLogin::EditUserClick() {
    EditUser->SelectAll();
}

void TFormLogin::EditPwdClick() {
    EditPwd->SelectAll();
}

void TFormLogin::SpinButton1UpClick() {
    StepPeriod(+1);
}

void TFormLogin::SpinButton1DownClick() {
    StepPeriod(-1);
}

void TFormLogin::StepPeriod(int months) {
    // Both parts are read before anything changes: a part that is not a number fails with the
    // conversion error and leaves the period as it was.
    const std::string period = EditPeriod->Text();
    int month = rtl::StrToInt(util::SubText(period, 5, 2));
    int year = rtl::StrToInt(util::SubText(period, 1, 4));
    month += months;
    if (month == 13) {
        ++year;
        month = 1;
    } else if (month == 0) {
        --year;
        month = 12;
    }
    EditPeriod->SetText(PeriodText(year, month));
}

void TFormLogin::BitBtn2Click() {
    GiveUp = "T";
    Close();
}

void TFormLogin::BitBtn1Click() {
    AdsLoginTables tables(main_->TableCoSetup, TableUser);
    if (!tables.FindYear(util::SubText(EditPeriod->Text(), 1, 4))) {
        Say(LoginRefusalText(LoginRefusal::YearNotDefined));
        return;
    }
    // The fourth judged press gives up; it is still judged (and its message shown), but the
    // closing check then lets the dialog close without a login.
    if (Attempts > 3) {
        GiveUp = "T";
        Close();
    }
    ++Attempts;

    const LoginPressVerdict verdict = JudgeLoginPress(tables, EditUser->Text(), EditPwd->Text());
    if (verdict.Close)
        Close();
    else if (verdict.Refusal != LoginRefusal::SilentRefusal)
        Say(LoginRefusalText(verdict.Refusal));
}

void TFormLogin::Grant(const std::string& hideWage, const std::string& viewData,
                       const std::string& audit) {
    main_->HideWage = hideWage;
    main_->ViewData = viewData;
    main_->Audit = audit;
    main_->UserId = EditUser->Text();
    main_->Period = EditPeriod->Text();
    main_->PeriodYear = util::SubText(main_->Period, 1, 4);
}

void TFormLogin::FormCloseQuery(bool& canClose) {
    if (GiveUp == "T") {
        LoginOK = false;
        canClose = true;
        return;
    }
    main_->PrinterIndex = -1;
    AdsLoginTables tables(main_->TableCoSetup, TableUser);
    const ClosingVerdict verdict = JudgeClosingCheck(tables, EditUser->Text(), EditPwd->Text());
    if (!verdict.Grant) {
        LoginOK = false;
        canClose = false;
        Say(LoginRefusalText(verdict.Refusal));
        if (verdict.Refusal == LoginRefusal::UnauthorizedUser)
            EditUser->SetFocus();
        else if (verdict.Refusal == LoginRefusal::WrongPassword)
            EditPwd->SetFocus();
        else if (verdict.Refusal == LoginRefusal::AlreadyLoggedIn)
            EditUser->Clear();
        return;
    }

    // The printer value is read first, so that one that is not a number leaves the login
    // values as they were.
    const LoginGrant& grant = *verdict.Grant;
    const int index = grant.Printer.empty() ? -1 : rtl::StrToInt(grant.Printer);
    Grant(grant.HideWage, grant.ViewData, grant.Audit);
    if (!grant.Printer.empty()) {
        ui::TPrinter& printers = main_->Printer;
        // An index past the last printer, or below the first, selects the default printer.
        if (index < 0 || index > printers.PrinterCount() - 1)
            printers.SelectDefault();
        else
            printers.SetPrinterIndex(index);
        main_->PrinterIndex = static_cast<std::int16_t>(printers.PrinterIndex());
    }
    LoginOK = true;
    canClose = true;
}

}  // namespace app
