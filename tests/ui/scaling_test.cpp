// Window geometry scaled to the running font: design pixels in and out, pixels that grow with
// the font, and the walk that finds texts cut off.
#include <QApplication>
#include <QFont>
#include <QRect>
#include <string>
#include <vector>

#include "rtl/stringlist.h"
#include "tests/support/ui/fit.h"
#include "ui/scaling.h"
#include "ui/stdctrls.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using uitest::UiTest;

// The application's font for one test, the previous one put back after it.
class FontFor {
  public:
    explicit FontFor(const QFont& font) : previous_(QApplication::font()) {
        QApplication::setFont(font);
    }
    ~FontFor() { QApplication::setFont(previous_); }

  private:
    QFont previous_;
};

QFont Scaled(double factor) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * factor);
    return font;
}

QFont Tiny() {
    QFont font = QApplication::font();
    font.setPixelSize(7);
    return font;
}

// The download dialog's layout box, as that window places it (in its own font).
TComboBox* LayoutBox(TForm& form) {
    form.SetBorderStyle(bsDialog);
    form.SetFont("MS Sans Serif", 8);
    form.SetClientSize(327, 161);
    auto* label = form.CreateOwned<TLabel>();
    label->SetName("Label4");
    label->SetCaption("Output Format");
    label->SetBounds(212, 50, 80, 14);
    auto* combo = form.CreateOwned<TComboBox>();
    combo->SetName("comboFormatOutput");
    combo->SetBounds(212, 66, 108, 21);
    for (const char* item :
         {"Standard Format", "Extended Format 1", "Extended Format 2", "Extended Format 3"})
        combo->Items().Add(item);
    combo->SetItemIndex(0);
    return combo;
}

class Scaling : public UiTest {};

TEST_F(Scaling, DesignPixelsReadBackAsSetAndThePixelsFollowTheFont) {
    struct Case {
        const char* what;
        QFont font;
        bool grows;  // the pixels are more than the design's
    };
    for (const Case& c : {Case{"a font smaller than the design's", Tiny(), false},
                          Case{"twice the desktop's font", Scaled(2.0), true}}) {
        SCOPED_TRACE(c.what);
        FontFor font(c.font);
        auto form = uitest::ShownForm();
        form->SetClientSize(327, 161);
        auto* left = form->CreateOwned<TLabel>();
        left->SetBounds(8, 6, 60, 14);
        auto* right = form->CreateOwned<TLabel>();
        right->SetBounds(68, 6, 60, 14);
        auto* edit = form->CreateOwned<TEdit>();
        edit->SetBounds(8, 22, 286, 21);

        EXPECT_EQ(form->Width(), 327);
        EXPECT_EQ(form->Height(), 161);
        for (const TControl* control :
             {static_cast<TControl*>(left), static_cast<TControl*>(edit)}) {
            const QRect design(control->Left(), control->Top(), control->Width(),
                               control->Height());
            EXPECT_EQ(design, control == left ? QRect(8, 6, 60, 14) : QRect(8, 22, 286, 21));
        }
        // Controls that touch in the design touch on the screen.
        EXPECT_EQ(left->Widget()->geometry().right() + 1, right->Widget()->x());
        EXPECT_EQ(edit->Widget()->width() > 286, c.grows);
        EXPECT_EQ(form->Widget()->height() > 161, c.grows);
        EXPECT_EQ(DesignScale().x > 1.0, c.grows);
    }
}

TEST_F(Scaling, TheDownloadLayoutsShowWholeInTheirBox) {
    for (double factor : {1.0, 1.5}) {
        SCOPED_TRACE(factor);
        FontFor font(Scaled(factor));
        auto form = uitest::ShownForm();
        TComboBox* combo = LayoutBox(*form);
        EXPECT_EQ(combo->Text(), "Standard Format");
        EXPECT_EQ(fit::TextsThatDoNotFit(*form), std::vector<std::string>{});
    }
}

TEST_F(Scaling, TheWalkNamesEveryTextThatIsCutOff) {
    auto form = uitest::ShownForm();
    form->SetClientSize(300, 200);
    auto* label = form->CreateOwned<TLabel>();
    label->SetName("Label4");
    label->SetCaption("Output Format");
    label->SetBounds(8, 8, 20, 14);
    auto* button = form->CreateOwned<TButton>();
    button->SetName("Button1");
    button->SetCaption("Format Spec.");
    button->SetBounds(8, 30, 24, 23);
    auto* box = form->CreateOwned<TGroupBox>();
    box->SetName("GroupBox1");
    box->SetCaption("Log in Entry");
    box->SetBounds(8, 60, 30, 40);
    auto* combo = form->CreateOwned<TComboBox>();
    combo->SetName("comboFormatOutput");
    combo->Items().Add("Standard Format");
    combo->SetBounds(8, 110, 50, 21);
    auto* fits = form->CreateOwned<TLabel>();
    fits->SetCaption("OK");
    fits->SetBounds(100, 8, 100, 14);

    const std::vector<std::string> findings = fit::TextsThatDoNotFit(*form);
    std::vector<std::string> heads;
    for (const std::string& finding : findings)
        heads.push_back(finding.substr(0, finding.find(" needs")));
    EXPECT_EQ(heads,
              (std::vector<std::string>{"QLabel Label4: \"Output Format\"",
                                        "QPushButton Button1: \"Format Spec.\"",
                                        "QGroupBox GroupBox1: \"Log in Entry\"",
                                        "QComboBox comboFormatOutput: \"Standard Format\""}));
    for (const std::string& finding : findings)
        EXPECT_NE(finding.find(" px, has "), std::string::npos) << finding;
}

}  // namespace
