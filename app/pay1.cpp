#include "app/pay1.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ads/adscnnct.h"
#include "ads/adsfunc.h"
#include "ads/adstable.h"
#include "app/Login1.h"
#include "download/fmdnload.h"
#include "rtl/sysutils.h"
#include "util/DateUtil.h"
#include "util/StrUtil.h"

namespace app {

namespace {

constexpr const char* kCompanyConnection = "FormCompany.DatabaseMain";
constexpr int kClientWidth = 400;
constexpr int kClientHeight = 250;

// The window's background: a calm gradient with the program's name.
QPixmap Background() {
    QPixmap pixmap(kClientWidth, kClientHeight);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, 0, kClientHeight);
    gradient.setColorAt(0, QColor(32, 72, 120));
    gradient.setColorAt(1, QColor(150, 190, 220));
    painter.fillRect(pixmap.rect(), gradient);
    painter.setPen(QColor(255, 255, 255, 90));
    QFont font = painter.font();
    font.setPointSize(40);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(pixmap.rect().adjusted(0, 0, -16, -8), Qt::AlignRight | Qt::AlignBottom,
                     "velda");
    return pixmap;
}

// "Leave Download": an arrow down into a tray.
QPixmap DownloadPicture() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 60, 110), 2));
    painter.setBrush(QColor(60, 140, 70));
    QPainterPath arrow;
    arrow.moveTo(12, 3);
    arrow.lineTo(20, 3);
    arrow.lineTo(20, 13);
    arrow.lineTo(26, 13);
    arrow.lineTo(16, 23);
    arrow.lineTo(6, 13);
    arrow.lineTo(12, 13);
    arrow.closeSubpath();
    painter.drawPath(arrow);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygon({QPoint(3, 20), QPoint(3, 29), QPoint(29, 29), QPoint(29, 20)}));
    return pixmap;
}

// "Change Period": a calendar leaf.
QPixmap PeriodPicture() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 60, 110), 2));
    painter.setBrush(Qt::white);
    painter.drawRect(4, 6, 24, 22);
    painter.fillRect(5, 7, 23, 6, QColor(190, 40, 40));
    painter.drawLine(10, 3, 10, 9);
    painter.drawLine(22, 3, 22, 9);
    painter.setPen(QColor(30, 60, 110));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) painter.drawPoint(9 + col * 5, 17 + row * 4);
    return pixmap;
}

}  // namespace

TFormMain::TFormMain(rtl::TComponent* owner) : ui::TForm(owner) {
    SetName("FormMain");
    SetBorderStyle(ui::bsDialog);
    SetPosition(ui::poScreenCenter);
    SetClientSize(kClientWidth, kClientHeight);

    StatusBar1 = CreateOwned<ui::TStatusBar>(this);
    StatusBar1->SetName("StatusBar1");
    StatusBar1->AddPanel(150, "User ID : Unknown User");
    StatusBar1->AddPanel(120, "Emp Size :  ");
    StatusBar1->AddPanel(50, "Period :");

    Image1 = CreateOwned<ui::TImage>(this);
    Image1->SetName("Image1");
    Image1->SetAlign(ui::alClient);
    Image1->SetStretch(true);
    Image1->SetPicture(ui::TPicture(Background()));
    Image1->SendToBack();

    struct ButtonParts {
        ui::TSpeedButton** button;
        const char* name;
        const char* caption;
        QPixmap picture;
        int left;
    };
    for (const ButtonParts& b :
         {ButtonParts{&Profiles, "Profiles", "Leave Download", DownloadPicture(), 60},
          ButtonParts{&Reportitem, "Reportitem", "Change Period", PeriodPicture(), 220}}) {
        auto* button = CreateOwned<ui::TSpeedButton>(this);
        button->SetName(b.name);
        button->SetCaption(b.caption);
        button->SetFontBold(true);
        button->SetFlat(true);
        button->SetLayout(ui::blGlyphTop);
        button->SetGlyph(ui::TPicture(b.picture));
        button->SetBounds(b.left, 70, 120, 72);
        button->BringToFront();
        *b.button = button;
    }
    Profiles->OnClick = [this](rtl::TComponent*) { ProfilesClick(); };
    Reportitem->OnClick = [this](rtl::TComponent*) { ReportitemClick(); };

    TableCoSetup = CreateOwned<ads::TAdsTable>();
    TableCoSetup->SetName("TableCoSetup");
    TableCoSetup->SetDatabaseName(kCompanyConnection);
    TableCoSetup->SetTableName("paypara1.adt");
    TableCoSetup->SetIndexFieldNames("YEAR");
    TableCoSetup->AfterOpen = [this](db::TDataSet* d) { TableCoSetupAfterOpen(d); };

    TableEmp = CreateOwned<ads::TAdsTable>();
    TableEmp->SetName("TableEmp");
    TableEmp->SetDatabaseName(kCompanyConnection);
    TableEmp->SetTableName("employee");
    TableEmp->SetIndexFieldNames("EMP_NO");
    TableEmp->SetFiltered(true);  // no filter expression: every employee counts
    TableEmp->AfterOpen = [this](db::TDataSet* d) { TableCoSetupAfterOpen(d); };

    OnShow = [this](rtl::TComponent*) { FormShow(); };
}

TFormMain::~TFormMain() {
    // The components (and their handlers' calls into this object) go before the fields do.
    DestroyComponents();
}

void TFormMain::TableCoSetupAfterOpen(db::TDataSet* dataSet) {
    auto* table = dynamic_cast<ads::TAdsDataSet*>(dataSet);
    if (!table) return;
    // Dictionary tables are not encrypted; free tables share the company's table password.
    const ads::TAdsConnection* connection = table->AdsConnection();
    if (connection && connection->UsesDictionary()) return;
    ads::ApplyTablePassword(table, ads::kTablePassword);
}

void TFormMain::FormShow() {
    if (FormLogin) Period = FormLogin->EditPeriod->Text();
    // Without a row for the year the table stays where it was, and that row is used.
    TableCoSetup->FindByKey({PeriodYear});
    SetCaption(TableCoSetup->FieldByName("company")->AsString());
    // An empty pattern would show every date as nothing; the format in force stays then.
    const std::string dateFormat = TableCoSetup->FieldByName("G_DATEFORMAT")->AsString();
    if (!dateFormat.empty()) rtl::FormatSettings().ShortDateFormat = dateFormat;
    RefreshStatusBar();
    StatusBar1->Panels(0).SetText("User ID :" + UserId);
}

void TFormMain::RefreshStatusBar() {
    TableEmp->Open();
    // The table is open only while it is counted, also when the count fails.
    try {
        StatusBar1->Panels(1).SetText("Emp Size : " + rtl::IntToStr(TableEmp->RecordCount()));
        StatusBar1->Panels(2).SetText("Period : " + Period);
    } catch (...) {
        try {
            TableEmp->Close();
        } catch (...) {
            // The count's error is the one to report.
        }
        throw;
    }
    TableEmp->Close();
}

void TFormMain::ReportitemClick() {
    if (!FormLogin) return;  // shown outside a pick of a company: no login to run
    if (!FormLogin->RunLogin()) {
        Close();
        return;
    }
    FormShow();
}

void TFormMain::ProfilesClick() {
    int year = rtl::StrToInt(PeriodYear);
    int month = rtl::StrToInt(util::SubText(Period, 5, 2));
    int lastDay = util::DaysInMonth(year, month);
    // Made for this use only; destroyed when it closes or when presetting it fails.
    auto dialog = ui::NewForm<download::Tfmdownload>();
    dialog->wwDBDateTimePicker1->SetDate(rtl::EncodeDate(year, month, 1));
    dialog->wwDBDateTimePicker2->SetDate(rtl::EncodeDate(year, month, lastDay));
    dialog->SetCaption(dialog->Caption() + " for " + Period);
    dialog->ShowModal();
}

}  // namespace app
