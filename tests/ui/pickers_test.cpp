#include <QCalendarWidget>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QToolButton>

#include "rtl/sysutils.h"
#include "tests/support/ui/simulate.h"
#include "ui/datetimepicker.h"
#include "ui/dialogs.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using uitest::UiTest;

class DatePicker : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        savedFormat_ = rtl::FormatSettings().ShortDateFormat;
        form = uitest::ShownForm();
        picker = form->CreateOwned<TDateTimePicker>();
        picker->SetEpoch(1950);
        picker->SetDate(rtl::EncodeDate(2006, 3, 5));
    }
    void TearDown() override {
        rtl::FormatSettings().ShortDateFormat = savedFormat_;
        UiTest::TearDown();
    }
    // Types a date into the field and leaves it with Enter.
    void TypeDate(const std::string& text) {
        picker->LineEdit()->clear();
        sim::Type(*picker, text);
        sim::PressKey(*picker, VK_RETURN);
    }
    rtl::TDateTime Date(int y, int m, int d) { return rtl::EncodeDate(y, m, d); }

    ui::TFormPtr<TForm> form;
    TDateTimePicker* picker = nullptr;
    std::string savedFormat_;
};

TEST_F(DatePicker, ShowsItsOwnFormatOrTheProgramWideOne) {
    picker->SetFormat("dd/MM/yyyy");
    EXPECT_EQ(picker->Text(), "05/03/2006");
    picker->SetFormat("dd/mm/yyyy");
    EXPECT_EQ(picker->Text(), "05/03/2006");

    picker->SetFormat("");
    rtl::FormatSettings().ShortDateFormat = "yyyy-mm-dd";
    form->Hide();
    form->Show();  // shown again after the company's format was set
    EXPECT_EQ(picker->Text(), "2006-03-05");
    TypeDate("2007-1-2");
    EXPECT_EQ(picker->Date(), Date(2007, 1, 2));
}

TEST_F(DatePicker, TwoDigitYearsFallInTheHundredYearsFromTheEpoch) {
    picker->SetFormat("dd/mm/yyyy");
    int changes = 0;
    picker->OnChange = [&](rtl::TComponent*) { ++changes; };
    TypeDate("1/2/49");
    EXPECT_EQ(picker->Date(), Date(2049, 2, 1));
    EXPECT_EQ(picker->Text(), "01/02/2049");
    TypeDate("1/2/50");
    EXPECT_EQ(picker->Date(), Date(1950, 2, 1));
    TypeDate("29/2/2004");
    EXPECT_EQ(picker->Date(), Date(2004, 2, 29));
    EXPECT_EQ(changes, 3);

    rtl::TDateTime parsed = 0;
    ASSERT_TRUE(TDateTimePicker::ParseDate("12/31/99", "mm/dd/yy", 2000, parsed));
    EXPECT_EQ(parsed, Date(2099, 12, 31));
}

TEST_F(DatePicker, ATextThatIsNoDateIsRefusedAndTheDateKept) {
    picker->SetFormat("dd/mm/yyyy");
    for (const char* text : {"31/02/2006", "1/x/2006", "12"}) {
        app().ClearMessages();
        ui::Script().Message(IDOK);
        TypeDate(text);
        EXPECT_EQ(MessageTexts(),
                  std::vector<std::string>{std::string("'") + text + "' is not a valid date."});
        EXPECT_EQ(picker->Date(), Date(2006, 3, 5));
        EXPECT_EQ(picker->Text(), "05/03/2006");
    }
}

TEST_F(DatePicker, TheCalendarDropsDownAndPicks) {
    picker->SetFormat("dd/mm/yyyy");
    sim::Click(picker->DropDownButton());
    ASSERT_TRUE(picker->DroppedDown());
    EXPECT_EQ(picker->Calendar()->selectedDate(), QDate(2006, 3, 5));
    picker->Calendar()->setSelectedDate(QDate(2006, 3, 31));
    sim::PressKey(picker->Calendar(), VK_RETURN);
    EXPECT_FALSE(picker->DroppedDown());
    EXPECT_EQ(picker->Date(), Date(2006, 3, 31));
    EXPECT_EQ(picker->Text(), "31/03/2006");

    sim::PressKey(*picker, VK_DOWN, ssAlt);  // the keyboard's way to drop it down
    EXPECT_TRUE(picker->DroppedDown());
    picker->CloseUp();
    EXPECT_FALSE(picker->DroppedDown());
}

class OpenDialog : public UiTest {};

TEST_F(OpenDialog, TheScriptSeesTheDialogAndChoosesAFile) {
    const std::string folder = QDir::tempPath().toStdString();
    TOpenDialog dialog;
    dialog.SetFilter("*.txt|*.txt");
    dialog.SetDefaultExt("txt");
    dialog.SetInitialDir(folder);
    dialog.SetFileName("lv_trans.txt");
    ui::Script().FileDialog([&](TOpenDialog& shown, QFileDialog& box) {
        EXPECT_EQ(&shown, &dialog);
        EXPECT_EQ(box.nameFilters(), QStringList{"*.txt (*.txt)"});
        EXPECT_EQ(box.directory().absolutePath().toStdString(),
                  QDir(QString::fromStdString(folder)).absolutePath().toStdString());
        EXPECT_TRUE(box.testOption(QFileDialog::DontUseNativeDialog));
        // The user types a name without extension and confirms.
        auto* nameEdit = box.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nameEdit, nullptr);
        EXPECT_EQ(nameEdit->text(), QString("lv_trans.txt"));
        nameEdit->setText("leave_out");
        static_cast<QDialog&>(box).accept();
    });
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(),
              QDir(QString::fromStdString(folder)).absoluteFilePath("leave_out.txt").toStdString());
}

TEST_F(OpenDialog, CancellingKeepsTheFileName) {
    TOpenDialog dialog;
    dialog.SetFileName("/data/download.txt");
    ui::Script().CancelFileDialog();
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), "/data/download.txt");

    ui::Script().ChooseFile("/tmp/chosen.txt");
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), "/tmp/chosen.txt");
}

}  // namespace
