#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "rtl/stringlist.h"
#include "tests/support/ui/simulate.h"
#include "ui/editmask.h"
#include "ui/extctrls.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using uitest::UiTest;

class Edits : public UiTest {};

TEST_F(Edits, UpperCaseIsForcedAndTheLengthLimited) {
    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TMaskEdit>();
    edit->SetCharCase(ecUpperCase);
    edit->SetMaxLength(8);
    edit->SetText("master");
    EXPECT_EQ(edit->Text(), "MASTER");
    edit->Clear();
    sim::Type(*edit, "qavrento\xe9xyz");
    EXPECT_EQ(edit->Text(), "QAVRENTO");
    edit->Clear();
    sim::Type(*edit, "ab\xe9");
    EXPECT_EQ(edit->Text(), "AB\xc9");  // Windows-1252 letters too
}

TEST_F(Edits, PasswordCharHidesTheTextNotTheValue) {
    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TMaskEdit>();
    edit->SetPasswordChar('*');
    edit->SetMaxLength(12);
    sim::Type(*edit, "4821kwvm37");
    EXPECT_EQ(edit->Text(), "4821kwvm37");
    EXPECT_EQ(edit->LineEdit()->displayText(), QString("**********"));
}

TEST_F(Edits, PeriodMaskTakesSixDigitsOnly) {
    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TMaskEdit>();
    edit->SetEditMask("!999999;1;_");
    edit->SetText("");
    sim::Type(*edit, "20a05-0399");
    EXPECT_EQ(edit->Text(), "200503");
    edit->SetText("2005");
    EXPECT_EQ(edit->EditText(), "2005__");
    EXPECT_EQ(edit->Text(), "2005  ");  // blank positions read as spaces

    auto* required = form->CreateOwned<TMaskEdit>();
    required->SetEditMask("000000;1; ");
    required->SetText("200512");
    EXPECT_EQ(required->Text(), "200512");
}

TEST_F(Edits, MaskLiteralsAreSkippedAndKeptOnlyWhenSaved) {
    TEditMaskInfo saved = ParseEditMask("99/99;1;_");
    EXPECT_EQ(MaskedText(saved, "12/0_"), "12/0 ");
    TEditMaskInfo unsaved = ParseEditMask("99/99;0;_");
    EXPECT_EQ(MaskedText(unsaved, "12/05"), "1205");
    // Literals that mean something to Qt are escaped; Delphi's required/optional digits swap.
    EXPECT_EQ(ParseEditMask("0\\D9").qtMask, QString("9\\D0;_"));
    EXPECT_EQ(ParseEditMask("").qtMask, QString());

    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TMaskEdit>();
    edit->SetEditMask("99/99;0;_");
    sim::Type(*edit, "1205");
    EXPECT_EQ(edit->EditText(), "12/05");
    EXPECT_EQ(edit->Text(), "1205");
}

TEST_F(Edits, ClickKeyPressAndChangeEvents) {
    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TEdit>();
    edit->SetText("MASTER");
    edit->OnClick = [edit](rtl::TComponent*) { edit->SelectAll(); };
    sim::Click(*edit);
    EXPECT_EQ(edit->SelText(), "MASTER");

    int changes = 0;
    edit->OnChange = [&](rtl::TComponent*) { ++changes; };
    edit->OnKeyPress = [](rtl::TComponent*, char& key) {
        if (key == 'x') key = 0;    // dropped
        if (key == 'y') key = 'Y';  // replaced
    };
    edit->Clear();
    sim::Type(*edit, "axyb");
    EXPECT_EQ(edit->Text(), "aYb");
    EXPECT_EQ(changes, 4);  // the clearing and three characters
}

class Buttons : public UiTest {};

TEST_F(Buttons, AcceleratorsAndDisabledButtons) {
    auto form = uitest::ShownForm();
    auto* button = form->CreateOwned<TBitBtn>();
    button->SetCaption("&Login");
    EXPECT_EQ(button->Button()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_L));
    int clicks = 0;
    button->OnClick = [&](rtl::TComponent* sender) {
        EXPECT_EQ(sender, button);
        ++clicks;
    };
    sim::Click(*button);
    button->SetEnabled(false);
    sim::Click(*button);
    button->Click();
    EXPECT_EQ(clicks, 1);

    auto* label = form->CreateOwned<TLabel>();
    label->SetCaption("&Total && Staff");
    EXPECT_EQ(label->Label()->text(), QString("Total & Staff"));
}

TEST_F(Buttons, BitBtnKindsBringTheirBehaviour) {
    auto form = ui::NewForm<TForm>();
    auto* ok = form->CreateOwned<TBitBtn>();
    ok->SetKind(bkOK);
    auto* close = form->CreateOwned<TBitBtn>();
    close->SetKind(bkClose);
    EXPECT_EQ(form->DefaultButton(), ok);
    EXPECT_EQ(ok->ModalResult(), mrOk);
    EXPECT_EQ(ok->Caption(), "OK");
    bool clicked = false;
    close->OnClick = [&](rtl::TComponent*) { clicked = true; };
    ui::Script().Modal([close](TForm&) { sim::Click(*close); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_FALSE(clicked);  // a close button closes instead
}

TEST_F(Buttons, SpinAndSpeedButtons) {
    auto form = uitest::ShownForm();
    auto* spin = form->CreateOwned<TSpinButton>();
    std::string steps;
    spin->OnUpClick = [&](rtl::TComponent*) { steps += "+"; };
    spin->OnDownClick = [&](rtl::TComponent*) { steps += "-"; };
    sim::Click(spin->UpButton());
    sim::Click(spin->DownButton());
    sim::PressKey(*spin, VK_UP);
    EXPECT_EQ(steps, "+-+");

    auto* speed = form->CreateOwned<TSpeedButton>();
    speed->SetCaption("Leave Download");
    speed->SetLayout(blGlyphTop);
    speed->SetGlyph(TPicture::Standard(QStyle::SP_FileIcon));
    int clicks = 0;
    speed->OnClick = [&](rtl::TComponent*) { ++clicks; };
    sim::Click(*speed);
    EXPECT_EQ(clicks, 1);
    EXPECT_THROW(
        try { TPicture::FromFile("/nonexistent/leave.bmp"); } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message(), "Cannot open file \"/nonexistent/leave.bmp\"");
            throw;
        },
        rtl::Exception);
}

TEST_F(Buttons, ActingOnAHiddenControlIsATestError) {
    auto form = ui::NewForm<TForm>();
    auto* button = form->CreateOwned<TButton>();
    EXPECT_THROW(sim::Click(*button), std::logic_error);
}

class Lists : public UiTest {};

TEST_F(Lists, ComboBoxItemIndexFollowsWhatIsTyped) {
    auto form = uitest::ShownForm();
    auto* combo = form->CreateOwned<TComboBox>();
    combo->Items().Assign({"Standard Format", "Extended Format 1", "Extended Format 2"});
    combo->SetItemIndex(0);
    EXPECT_EQ(combo->Text(), "Standard Format");
    int changes = 0;
    combo->OnChange = [&](rtl::TComponent*) { ++changes; };
    combo->SetText("");
    sim::Type(*combo, "Mine");
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(changes, 4);
    combo->SetText("Extended Format 2");
    EXPECT_EQ(combo->ItemIndex(), 2);

    combo->SetStyle(csDropDownList);
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->Text(), "Extended Format 1");
    EXPECT_EQ(combo->Items().Count(), 3);
}

TEST_F(Lists, LinesOutsideTheListAreRefused) {
    auto form = uitest::ShownForm();
    auto* combo = form->CreateOwned<TComboBox>();
    try {
        combo->Items().Strings(3);
        FAIL() << "no error";
    } catch (const rtl::EStringListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (3)");
    }
    auto* bar = form->CreateOwned<TStatusBar>();
    EXPECT_THROW(bar->Panels(0), rtl::EStringListError);
}

TEST_F(Lists, RichEditShowsItsLinesAndCannotBeEdited) {
    auto form = uitest::ShownForm();
    auto* rich = form->CreateOwned<TRichEdit>();
    rich->SetAlign(alClient);
    rich->Lines().Assign({"Standard Format", "", "Emp No (12) - Left pad with trailing space"});
    EXPECT_EQ(rich->Lines().Count(), 3);
    EXPECT_EQ(rich->Lines()[1], "");
    sim::Type(*rich, "x");
    EXPECT_EQ(rich->Lines().Text(),
              "Standard Format\r\n\r\nEmp No (12) - Left pad with trailing space\r\n");
    EXPECT_EQ(rich->Width(), form->Width());  // aligned to the whole client area
}

TEST_F(Lists, StatusPanelsAndARightAlignedPanel) {
    auto form = uitest::ShownForm();
    form->SetClientSize(400, 200);
    auto* bar = form->CreateOwned<TStatusBar>();
    bar->AddPanel(150, "User ID : Unknown User");
    bar->AddPanel(120, "Emp Size :  ");
    bar->AddPanel(50, "Period :");
    bar->Panels(0).SetText("User ID :MASTER");
    EXPECT_EQ(bar->Panels(0).Text(), "User ID :MASTER");
    EXPECT_EQ(bar->Panels(1).Width(), 120);
    EXPECT_EQ(bar->Top() + bar->Height(), form->Height());  // along the bottom edge

    auto* panel = form->CreateOwned<TPanel>();
    panel->SetAlignment(taRightJustify);
    panel->SetCaption("1234");
    EXPECT_TRUE(panel->Label()->alignment() & Qt::AlignRight);
    EXPECT_EQ(panel->Label()->text(), QString("1234"));
}

}  // namespace
