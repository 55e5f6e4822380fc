#include "download/fmdnload.h"

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "download/core/leavedownload.h"
#include "download/previewOutput.h"
#include "rtl/progfolder.h"
#include "ui/application.h"

namespace download {

namespace {

constexpr const char* kCompanyConnection = "FormCompany.DatabaseMain";

// Everything up to and including the last folder separator or drive colon; empty when none.
std::string FolderPart(const std::string& fileName) {
    size_t end = fileName.find_last_of("\\/:");
    return end == std::string::npos ? std::string() : fileName.substr(0, end + 1);
}

}  // namespace

Tfmdownload::Tfmdownload(rtl::TComponent* owner) : ui::TForm(owner) {
    SetName("fmdownload");
    SetCaption("Leave Download");
    SetBorderStyle(ui::bsSingle);
    SetBorderIcons(ui::biSystemMenu);
    SetPosition(ui::poScreenCenter);
    SetClientSize(327, 161);
    SetFont("MS Sans Serif", 8);

    Label1 = CreateOwned<ui::TLabel>(this);
    Label1->SetName("Label1");
    Label1->SetCaption("File Name");
    Label1->SetBounds(8, 6, 60, 14);
    Edit1 = CreateOwned<ui::TEdit>(this);
    Edit1->SetName("Edit1");
    Edit1->SetBounds(8, 22, 286, 21);
    Label1->SetFocusControl(Edit1);
    SpeedButton1 = CreateOwned<ui::TSpeedButton>(this);
    SpeedButton1->SetName("SpeedButton1");
    SpeedButton1->SetGlyph(ui::TPicture::Standard(QStyle::SP_DirOpenIcon));
    SpeedButton1->SetBounds(298, 22, 22, 21);
    SpeedButton1->OnClick = [this](rtl::TComponent*) { SpeedButton1Click(); };

    Label2 = CreateOwned<ui::TLabel>(this);
    Label2->SetName("Label2");
    Label2->SetCaption("From");
    Label2->SetBounds(8, 50, 40, 14);
    wwDBDateTimePicker1 = CreateOwned<ui::TDateTimePicker>(this);
    wwDBDateTimePicker1->SetName("wwDBDateTimePicker1");
    wwDBDateTimePicker1->SetFormat("dd/mm/yyyy");
    wwDBDateTimePicker1->SetEpoch(1950);
    wwDBDateTimePicker1->SetBounds(8, 66, 96, 21);
    Label2->SetFocusControl(wwDBDateTimePicker1);

    Label3 = CreateOwned<ui::TLabel>(this);
    Label3->SetName("Label3");
    Label3->SetCaption("To");
    Label3->SetBounds(110, 50, 40, 14);
    wwDBDateTimePicker2 = CreateOwned<ui::TDateTimePicker>(this);
    wwDBDateTimePicker2->SetName("wwDBDateTimePicker2");
    wwDBDateTimePicker2->SetEpoch(1950);  // no format of its own: the short date format
    wwDBDateTimePicker2->SetBounds(110, 66, 96, 21);
    Label3->SetFocusControl(wwDBDateTimePicker2);

    Label4 = CreateOwned<ui::TLabel>(this);
    Label4->SetName("Label4");
    Label4->SetCaption("Output Format");
    Label4->SetBounds(212, 50, 80, 14);
    comboFormatOutput = CreateOwned<ui::TComboBox>(this);
    comboFormatOutput->SetName("comboFormatOutput");
    comboFormatOutput->SetStyle(ui::csDropDown);
    for (const char* caption : kLayoutCaptions) comboFormatOutput->Items().Add(caption);
    comboFormatOutput->SetBounds(212, 66, 108, 21);
    Label4->SetFocusControl(comboFormatOutput);

    Button1 = CreateOwned<ui::TButton>(this);
    Button1->SetName("Button1");
    Button1->SetCaption("Format Spec.");
    Button1->SetBounds(212, 92, 108, 23);
    Button1->OnClick = [this](rtl::TComponent*) { Button1Click(); };

    Panel2 = CreateOwned<ui::TPanel>(this);
    Panel2->SetName("Panel2");
    Panel2->SetCaption("");
    Panel2->SetAlign(ui::alBottom);
    Panel2->SetHeight(41);
    Panel2->SetBevelOuter(ui::bvLowered);
    Panel2->SetColor(10930928);  // red 240, green 202, blue 166
    BitBtn3 = CreateOwned<ui::TBitBtn>(Panel2);
    BitBtn3->SetName("BitBtn3");
    BitBtn3->SetKind(ui::bkOK);  // the default button, modal result OK
    BitBtn3->SetCaption("&OK");
    BitBtn3->SetBounds(80, 8, 80, 25);
    BitBtn3->OnClick = [this](rtl::TComponent*) { BitBtn3Click(); };
    BitBtn4 = CreateOwned<ui::TBitBtn>(Panel2);
    BitBtn4->SetName("BitBtn4");
    BitBtn4->SetCaption("Close");
    BitBtn4->SetGlyph(ui::TPicture::Standard(QStyle::SP_DialogCloseButton));
    BitBtn4->SetBounds(168, 8, 80, 25);
    BitBtn4->OnClick = [this](rtl::TComponent*) { BitBtn4Click(); };

    OpenDialog1 = CreateOwned<ui::TOpenDialog>();
    OpenDialog1->SetName("OpenDialog1");
    OpenDialog1->SetDefaultExt("txt");
    OpenDialog1->SetFilter("*.txt|*.txt");

    Query1 = CreateOwned<ads::TAdsQuery>();
    Query1->SetName("Query1");
    Query1->SetDatabaseName(kCompanyConnection);
    Query1->SetSourceTableType(ads::ttAdsADT);
    Query1->SetReadAllColumns(false);
    Query1->SetRequestLive(false);
    Query1->SetParamCheck(true);
    Query1->BeforeOpen = [this](db::TDataSet* dataSet) { Query1BeforeOpen(dataSet); };

    tblleave = CreateOwned<ads::TAdsTable>();
    tblleave->SetName("tblleave");
    tblleave->SetDatabaseName(kCompanyConnection);
    tblleave->SetTableName("empleave.adt");
    tblleave->SetIndexName("EMPCODE");

    OnShow = [this](rtl::TComponent*) { FormShow(); };
    OnClose = [this](rtl::TComponent*, ui::TCloseAction& action) { FormClose(action); };
}

Tfmdownload::~Tfmdownload() {
    // The components (and their handlers' calls into this object) go before the fields do.
    DestroyComponents();
}

void Tfmdownload::FormShow() {
    comboFormatOutput->SetItemIndex(0);
    applicationFolder_ = rtl::ProgramFolder();
    std::string settingsFile = applicationFolder_ + kSettingsFileName;
    std::string fileName;
    settings_.reset();
    try {
        if (!rtl::FileExists(settingsFile)) rtl::TStringList().SaveToFile(settingsFile);
        auto settings = std::make_unique<rtl::TStringList>();
        settings->LoadFromFile(settingsFile);
        fileName = settings->Values(kSettingsFilePath);
        settings_ = std::move(settings);
    } catch (const std::exception& error) {
        // The dialog still opens, with the usual file name, and closing saves nothing.
        ui::Application().ShowException(error);
    }
    Edit1->SetText(fileName.empty() ? applicationFolder_ + "download.txt" : fileName);
}

void Tfmdownload::SpeedButton1Click() {
    OpenDialog1->SetInitialDir(FolderPart(Edit1->Text()));
    OpenDialog1->SetFileName("lv_trans.txt");
    if (OpenDialog1->Execute()) Edit1->SetText(OpenDialog1->FileName());
}

void Tfmdownload::Button1Click() {
    auto preview = ui::NewForm<TfmOutput>();
    preview->ShowModal();
}

void Tfmdownload::BitBtn4Click() {
    Close();
}

void Tfmdownload::FormClose(ui::TCloseAction& action) {
    if (!settings_) return;
    settings_->SetValues(kSettingsFilePath, Edit1->Text());
    try {
        settings_->SaveToFile(applicationFolder_ + kSettingsFileName);
    } catch (const std::exception& error) {
        ui::Application().ShowException(error);
        if (!saveFailed_) {
            saveFailed_ = true;
            action = ui::caNone;
            return;
        }
    }
    saveFailed_ = false;
    settings_.reset();
}

void Tfmdownload::BitBtn3Click() {
    std::optional<TOutputLayout> layout = LayoutOfIndex(comboFormatOutput->ItemIndex());
    if (!layout) {
        ui::Application().ShowMessage("Invalid Output Format Type!");
        return;
    }
    // The file is written beside its name and put in place only when complete: a statement or
    // write error leaves an earlier file of that name as it was.
    const rtl::TDateTime from = wwDBDateTimePicker1->Date(), to = wwDBDateTimePicker2->Date();
    const std::string fileName = Edit1->Text();
    TDownloadFile file(fileName,
                       TProtectedFiles::OfCompany(Query1->ResolveDataPath(), rtl::ProgramFolder()));
    RunLeaveDownload(*Query1, *tblleave, from, to, *layout, file);
    ui::Application().ShowMessage("Leave download text file has be saved to: [ " + fileName + " ]");
}

void Tfmdownload::Query1BeforeOpen(db::TDataSet*) {
    GiveLeaveStatementPasswords(*Query1);
}

}  // namespace download
