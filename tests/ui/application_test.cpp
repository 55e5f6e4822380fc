#include <QApplication>
#include <QCursor>
#include <stdexcept>

#include "rtl/busycursor.h"
#include "rtl/exception.h"
#include "rtl/sysutils.h"
#include "ui/qtext.h"
#include "ui/stdctrls.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using uitest::UiTest;

class ErrorDisplay : public UiTest {};

TEST_F(ErrorDisplay, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    struct Case {
        std::string message, shown;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"abc", "abc."},
        {"abc.", "abc."},
        {"abc!", "abc!"},  // '!' sorts before '.'
        {"Error 5132: x/y", "Error 5132: x/y."},
        {"caf\xE9", "caf\xE9."},  // a byte above 127 sorts after '.' as unsigned
        {"(a)", "(a)"},           // ')' sorts before '.'
    };
    for (const Case& c : cases) {
        app().ClearMessages();
        ui::Script().Message(IDOK);
        app().ShowException(rtl::Exception(c.message));
        ASSERT_EQ(app().Messages().size(), 1u);
        const TMessageRecord& shown = app().Messages()[0];
        EXPECT_EQ(shown.text, c.shown) << c.message;
        EXPECT_EQ(shown.caption, "Velda Test");
        EXPECT_EQ(shown.icon, TMsgIcon::Error);
        EXPECT_EQ(shown.flags, MB_OK | MB_ICONERROR);
    }
}

TEST_F(ErrorDisplay, ShowsStandardExceptionsByTheirWhat) {
    EXPECT_EQ(TApplication::ErrorText(std::runtime_error("disk full")), "disk full.");
    EXPECT_EQ(TApplication::ErrorText(rtl::EConvertError("'x' is not a valid integer value")),
              "'x' is not a valid integer value.");
}

TEST_F(ErrorDisplay, AnExceptionLeavingAHandlerEndsItAndIsShown) {
    bool after = false;
    ui::Script().Message(IDOK);
    app().HandleEvent([&] {
        throw rtl::Exception("Table not found");
        after = true;
    });
    EXPECT_FALSE(after);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Table not found."});

    // The silent exception ends the handler without a box.
    app().HandleEvent([] { rtl::Abort(); });
    EXPECT_EQ(app().Messages().size(), 1u);
}

TEST_F(ErrorDisplay, AButtonHandlerThatFailsLeavesTheWindowAsItWas) {
    auto form = uitest::ShownForm();
    auto* edit = form->CreateOwned<TEdit>();
    auto* button = form->CreateOwned<TButton>();
    edit->SetText("kept");
    button->OnClick = [&](rtl::TComponent*) {
        edit->SetText("changed");
        throw rtl::Exception("'abc' is not a valid integer value");
    };
    ui::Script().Message(IDOK);
    button->Click();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"'abc' is not a valid integer value."});
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(edit->Text(), "changed");  // what the handler did before it failed stays
}

class MessageBoxes : public UiTest {};

TEST_F(MessageBoxes, ScriptAnswersAndSeesWhatIsShown) {
    ui::Script().Message([](const TMessageRecord& shown) {
        EXPECT_EQ(shown.caption, "Confirm");
        EXPECT_EQ(shown.text, "Overwrite?");
        EXPECT_EQ(shown.icon, TMsgIcon::Question);
        return IDNO;
    });
    EXPECT_EQ(app().MessageBox("Overwrite?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDNO);
    ui::Script().Message(IDOK);
    app().ShowMessage("Invalid ID !");
    ASSERT_EQ(app().Messages().size(), 2u);
    EXPECT_EQ(app().Messages()[1].caption, "Velda Test");
    EXPECT_EQ(app().Messages()[1].icon, TMsgIcon::None);
    EXPECT_EQ(app().Messages()[1].result, IDOK);
}

TEST_F(MessageBoxes, UnscriptedOrWronglyAnsweredPromptsAreNotedAndGetTheSafeAnswer) {
    EXPECT_EQ(app().MessageBox("Delete?", "Q", MB_YESNO), IDNO);
    EXPECT_EQ(app().MessageBox("Go on?", "Q", MB_OKCANCEL), IDCANCEL);
    ui::Script().Message(IDYES);  // not a button of an OK box
    EXPECT_EQ(app().MessageBox("Done", "Q", MB_OK), IDOK);
    EXPECT_EQ(ui::Script().Errors().size(), 3u);
    ui::Script().Clear();
}

TEST_F(MessageBoxes, TextsCrossToQtAsWindows1252) {
    EXPECT_EQ(ToQString("\x80 caf\xE9"), QString::fromUtf8("\u20AC caf\u00E9"));
    EXPECT_EQ(FromQString(QString::fromUtf8("\u20AC caf\u00E9")), "\x80 caf\xE9");
    EXPECT_EQ(FromQString(QString::fromUtf8("a\u2192b")), "a?b");  // no Windows-1252 arrow
}

TEST_F(MessageBoxes, BusyCursorSetsAndRestoresQtsOverrideCursor) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        rtl::ScopedBusyCursor busy;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
