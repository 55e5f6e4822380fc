#include "app/M_cpny.h"

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ads/company_credentials.h"
#include "app/Login1.h"
#include "app/core/startup.h"
#include "app/pay1.h"
#include "app/servicefigures.h"
#include "db/datasource.h"
#include "rtl/progfolder.h"
#include "ui/application.h"

namespace app {

TFormCompany::TFormCompany(rtl::TComponent* owner) : ui::TForm(owner) {
    SetName("FormCompany");
    SetCaption("Leave Download Program - ver 8.3");
    SetBorderStyle(ui::bsDialog);
    SetPosition(ui::poScreenCenter);
    SetKeyPreview(true);
    SetClientSize(540, 330);

    AdsConnection1 = CreateOwned<ads::TAdsConnection>();
    AdsConnection1->SetName("AdsConnection1");
    DatabaseMain = CreateOwned<ads::TAdsConnection>();
    DatabaseMain->SetName("DatabaseMain");
    for (ads::TAdsConnection* c : {AdsConnection1, DatabaseMain}) {
        c->SetAdsServerTypes({ads::stADS_REMOTE, ads::stADS_LOCAL});
        c->SetLoginPrompt(false);
        c->SetStoreConnected(false);
    }

    TableMCompany = CreateOwned<ads::TAdsTable>();
    TableMCompany->SetName("TableMCompany");
    TableMCompany->SetAdsConnection(AdsConnection1);
    TableMCompany->SetTableName("MCOMPANY");
    TableMCompany->SetIndexFieldNames("COMPANY_CODE");
    TableMCompany->OnNewRecord = [this](db::TDataSet* d) { TableMCompanyNewRecord(d); };

    wwDataSource1 = CreateOwned<db::TDataSource>();
    wwDataSource1->SetName("wwDataSource1");
    wwDataSource1->SetDataSet(TableMCompany);

    wwDBGrid1 = CreateOwned<ui::TDBGrid>(this);
    wwDBGrid1->SetName("wwDBGrid1");
    wwDBGrid1->SetBounds(10, 10, 520, 240);
    wwDBGrid1->AddColumn("COMPANY_CODE", "Code", 9);
    wwDBGrid1->AddColumn("COMPANY_NAME", "Company Name", 40);
    wwDBGrid1->AddColumn("TOTAL_STAFF", "Staff No", 10);
    wwDBGrid1->SetTitleBold(true);
    wwDBGrid1->SetEditingAllowed(true);
    wwDBGrid1->SetDataSource(wwDataSource1);
    wwDBGrid1->OnDblClick = [this](rtl::TComponent*) { wwDBGrid1DblClick(); };

    Label2 = CreateOwned<ui::TLabel>(this);
    Label2->SetName("Label2");
    Label2->SetCaption("Total Staff");
    Label2->SetBounds(330, 262, 80, 22);
    Panel1 = CreateOwned<ui::TPanel>(this);
    Panel1->SetName("Panel1");
    Panel1->SetAlignment(ui::taRightJustify);
    Panel1->SetBevelOuter(ui::bvLowered);
    Panel1->SetBounds(420, 258, 110, 26);
    Panel1->SetCaption("");

    BitBtn3 = CreateOwned<ui::TBitBtn>(this);
    BitBtn3->SetName("BitBtn3");
    BitBtn3->SetCaption("&OK");
    BitBtn3->SetBounds(150, 294, 100, 28);
    BitBtn3->OnClick = [this](rtl::TComponent*) { BitBtn3Click(); };
    BitBtn4 = CreateOwned<ui::TBitBtn>(this);
    BitBtn4->SetName("BitBtn4");
    BitBtn4->SetCaption("Exit");
    BitBtn4->SetBounds(290, 294, 100, 28);
    BitBtn4->OnClick = [this](rtl::TComponent*) { BitBtn4Click(); };

    OnCreate = [this](rtl::TComponent*) { FormCreate(); };
    OnDestroy = [this](rtl::TComponent*) { FormDestroy(); };
    OnKeyDown = [this](rtl::TComponent*, ui::TKey& key, ui::TShiftState shift) {
        FormKeyDown(key, shift);
    };
}

TFormCompany::~TFormCompany() {
    formLogin_.reset();
    formMain_.reset();
    DestroyComponents();
}

void TFormCompany::FormCreate() {
    const StartupConfiguration configuration = ReadStartupConfiguration(rtl::ProgramFolder());
    ProgramFolder = configuration.ProgramFolder;
    DictionarySetting = configuration.DictionarySetting;
    MasterFolder = configuration.MasterFolder;
    AdsConnection1->SetConnectPath(MasterFolder);

    TableMCompany->Close();
    TableMCompany->SetIndexFieldNames("COMPANY_CODE");
    TableMCompany->Open();

    // The grand total: every row's staff count, an empty one counting 0.
    long long total = 0;
    TableMCompany->DisableControls();
    try {
        TableMCompany->First();
        while (!TableMCompany->Eof()) {
            total += TableMCompany->FieldByName("TOTAL_STAFF")->AsInteger();
            TableMCompany->Next();
        }
    } catch (...) {
        TableMCompany->EnableControls();
        throw;
    }
    Panel1->SetCaption(std::to_string(total));
    TableMCompany->EnableControls();
    TableMCompany->First();
}

void TFormCompany::FormKeyDown(ui::TKey& key, ui::TShiftState) {
    // The key goes on to the focused control afterwards.
    if (!TableMCompany->Active()) return;
    switch (key) {
        case ui::VK_ESCAPE:
            TableMCompany->Cancel();
            break;
        case ui::VK_PRIOR:
            TableMCompany->Prior();
            break;
        case ui::VK_NEXT:
            TableMCompany->Next();
            break;
        default:
            break;
    }
}

std::string TFormCompany::CurrentCode() const {
    return TableMCompany->FieldByName("COMPANY_CODE")->AsString();
}

void TFormCompany::BitBtn3Click() {
    ProgramFolder = rtl::ProgramFolder();
    DatabaseMain->Disconnect();
    const StartupConfiguration configuration{ProgramFolder, DictionarySetting, MasterFolder};
    if (configuration.UsesDictionaries()) {
        DatabaseMain->SetUsername(ads::kDictionaryUser);
        DatabaseMain->SetPassword(ads::kDictionaryPassword);
    }
    DatabaseMain->SetConnectPath(CompanyConnectPath(configuration, CurrentCode()));
    DatabaseMain->Connect();
    WorkOnCompany();
}

void TFormCompany::WorkOnCompany() {
    Hide();
    // Whatever ends the work on this company, the list comes back: an error after the form was
    // hidden would otherwise leave no window to go on from.
    struct ShowAgain {
        TFormCompany* form;
        ~ShowAgain() {
            form->formLogin_.reset();
            if (form->formMain_) form->formMain_->FormLogin = nullptr;
            form->Show();
        }
    } showAgain{this};

    if (!formMain_) formMain_ = ui::NewForm<TFormMain>();
    formMain_->TableCoSetup->Open();
    formLogin_ = ui::NewForm<TFormLogin>(formMain_.get());
    formMain_->FormLogin = formLogin_.get();
    if (formLogin_->RunLogin()) {
        ComputeServiceFigures(formLogin_->wwTableServ, formLogin_->TableEmp,
                              formLogin_->EditUser->Text(), formLogin_->EditPeriod->Text());
        formMain_->ShowModal();
    }
}

void TFormCompany::BitBtn4Click() {
    Close();
}

void TFormCompany::FormDestroy() {
    formLogin_.reset();
    formMain_.reset();
}

void TFormCompany::wwDBGrid1DblClick() {
    BitBtn3Click();
}

void TFormCompany::TableMCompanyNewRecord(db::TDataSet*) {}

}  // namespace app
