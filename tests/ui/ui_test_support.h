// The one application object of the test program (scripted, headless) and the fixture that
// checks each test's script was used up exactly.
#ifndef VELDA_TESTS_UI_UI_TEST_SUPPORT_H
#define VELDA_TESTS_UI_UI_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ui/headless_app.h"
#include "tests/support/ui/script.h"
#include "ui/application.h"
#include "ui/forms.h"

namespace uitest {

// Each test leaves no script step unused and no prompt unanswered, and destroys the forms
// the application owns.
class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::Script().Clear();
        app().ClearMessages();
        app().SetTitle("Velda Test");
    }
    void TearDown() override {
        EXPECT_EQ(ui::Script().Pending(), 0) << "script steps left unused";
        EXPECT_EQ(ui::Script().Errors(), std::vector<std::string>{});
        ui::Script().Clear();
        app().DestroyForms();
    }
    static ui::TApplication& app() { return ui::Application(); }
    // The texts of the message boxes shown so far.
    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> texts;
        for (const auto& m : app().Messages()) texts.push_back(m.text);
        return texts;
    }
};

// A form made by the test, shown (not modally).
template <class F = ui::TForm>
ui::TFormPtr<F> ShownForm() {
    auto form = ui::NewForm<F>();
    form->Show();
    return form;
}

}  // namespace uitest

#endif
