#include <QScreen>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "rtl/exception.h"
#include "tests/support/ui/simulate.h"
#include "ui/extctrls.h"
#include "ui/stdctrls.h"
#include "ui_test_support.h"

namespace {

using namespace ui;
using uitest::UiTest;

// A dialog with an edit, an OK button (default, mrOk) and a Cancel button (cancel, mrCancel),
// and a closing check the test decides.
class TTestDialog : public TForm {
  public:
    explicit TTestDialog(rtl::TComponent* owner = nullptr) : TForm(owner) {
        SetName("TestDialog");
        SetCaption("Test");
        SetBorderStyle(bsDialog);
        SetPosition(poScreenCenter);
        Edit = CreateOwned<TEdit>();
        Ok = CreateOwned<TButton>();
        Ok->SetCaption("&OK");
        Ok->SetDefault(true);
        Ok->SetModalResult(mrOk);
        Ok->SetTop(40);
        Cancel = CreateOwned<TButton>();
        Cancel->SetCaption("Cancel");
        Cancel->SetCancel(true);
        Cancel->SetModalResult(mrCancel);
        Cancel->SetTop(70);
        OnCloseQuery = [this](rtl::TComponent*, bool& canClose) {
            ++queries;
            canClose = allowClose;
        };
        OnClose = [this](rtl::TComponent*, TCloseAction&) { ++closes; };
    }
    TEdit* Edit;
    TButton* Ok;
    TButton* Cancel;
    bool allowClose = true;
    int queries = 0;
    int closes = 0;
};

class ClosingCheck : public UiTest {};

TEST_F(ClosingCheck, TitleBarCloseIsRefusedOrAllowedByTheCheck) {
    auto form = uitest::ShownForm<TTestDialog>();
    form->allowClose = false;
    sim::CloseWindow(*form);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->queries, 1);
    EXPECT_EQ(form->closes, 0);

    form->allowClose = true;
    sim::CloseWindow(*form);
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(form->closes, 1);
}

TEST_F(ClosingCheck, OnCloseMayKeepTheFormOpen) {
    auto form = uitest::ShownForm<TTestDialog>();
    form->OnClose = [](rtl::TComponent*, TCloseAction& action) { action = caNone; };
    form->Close();
    EXPECT_TRUE(form->Visible());
}

TEST_F(ClosingCheck, ModalResultAsksTheCheckAndARefusalKeepsTheFormOpen) {
    auto form = ui::NewForm<TTestDialog>();
    ui::Script().Modal([](TForm& f) {
        auto& dialog = dynamic_cast<TTestDialog&>(f);
        dialog.allowClose = false;
        sim::Click(*dialog.Ok);
        EXPECT_TRUE(dialog.Visible());
        EXPECT_EQ(dialog.ModalResult(), mrNone);  // refused: the result is cleared
        dialog.allowClose = true;
        sim::Click(*dialog.Ok);
        EXPECT_FALSE(dialog.Visible());
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(form->queries, 2);
    EXPECT_EQ(form->closes, 1);
}

TEST_F(ClosingCheck, CloseFromAHandlerOfAModalFormEndsWithCancelAfterTheHandler) {
    auto form = ui::NewForm<TTestDialog>();
    std::vector<std::string> order;
    form->Ok->SetModalResult(mrNone);
    form->Ok->OnClick = [&](rtl::TComponent*) {
        form->Close();
        order.push_back(form->Visible() ? "still open in handler" : "closed in handler");
    };
    form->OnCloseQuery = [&](rtl::TComponent*, bool&) { order.push_back("check"); };
    ui::Script().Modal([](TForm& f) { sim::Click(*dynamic_cast<TTestDialog&>(f).Ok); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(order, (std::vector<std::string>{"still open in handler", "check"}));
}

class ModalForms : public UiTest {};

TEST_F(ModalForms, EnterPressesTheDefaultButtonAndEscTheCancelButton) {
    auto form = ui::NewForm<TTestDialog>();
    ui::Script().Modal([](TForm& f) {
        auto& dialog = dynamic_cast<TTestDialog&>(f);
        sim::Type(*dialog.Edit, "abc");
        sim::PressKey(*dialog.Edit, VK_RETURN);
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(form->Edit->Text(), "abc");

    ui::Script().Modal(
        [](TForm& f) { sim::PressKey(*dynamic_cast<TTestDialog&>(f).Edit, VK_ESCAPE); });
    EXPECT_EQ(form->ShowModal(), mrCancel);

    // Enter on a focused button presses that button, not the default one.
    ui::Script().Modal(
        [](TForm& f) { sim::PressKey(*dynamic_cast<TTestDialog&>(f).Cancel, VK_RETURN); });
    EXPECT_EQ(form->ShowModal(), mrCancel);
}

TEST_F(ModalForms, AFailingHandlerOfAModalResultButtonIsShownAndTheFormStillCloses) {
    auto form = ui::NewForm<TTestDialog>();
    std::vector<std::string> order;
    form->Ok->OnClick = [](rtl::TComponent*) {
        throw rtl::Exception("Invalid Output Format Type!");
    };
    form->OnCloseQuery = [&](rtl::TComponent*, bool&) { order.push_back("check"); };
    ui::Script().Modal([](TForm& f) { sim::Click(*dynamic_cast<TTestDialog&>(f).Ok); });
    ui::Script().Message([&](const TMessageRecord& shown) {
        order.push_back(shown.text);
        return IDOK;
    });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(order, (std::vector<std::string>{"Invalid Output Format Type!", "check"}));
}

TEST_F(ModalForms, NestedModalFormsTakeTheirOwnSteps) {
    auto outer = ui::NewForm<TTestDialog>();
    auto inner = ui::NewForm<TTestDialog>();
    TModalResult innerResult = mrNone;
    outer->Ok->SetModalResult(mrNone);
    outer->Ok->OnClick = [&](rtl::TComponent*) { innerResult = inner->ShowModal(); };
    ui::Script().Modal([](TForm& f) {
        auto& dialog = dynamic_cast<TTestDialog&>(f);
        sim::Click(*dialog.Ok);  // opens the inner form, driven by the next step
        EXPECT_TRUE(dialog.Visible());
        sim::Click(*dialog.Cancel);
    });
    ui::Script().Modal([](TForm& f) { sim::Click(*dynamic_cast<TTestDialog&>(f).Ok); });
    EXPECT_EQ(outer->ShowModal(), mrCancel);
    EXPECT_EQ(innerResult, mrOk);
}

TEST_F(ModalForms, RefusesAVisibleFormAndHidesAFormWhoseShowFails) {
    auto shown = uitest::ShownForm<TTestDialog>();
    EXPECT_THROW(
        try { shown->ShowModal(); } catch (const rtl::Exception& e) {
            EXPECT_EQ(e.Message(), "Cannot make a visible window modal");
            throw;
        },
        rtl::Exception);

    auto failing = ui::NewForm<TTestDialog>();
    failing->OnShow = [](rtl::TComponent*) { throw rtl::Exception("Field 'company' not found"); };
    EXPECT_THROW(failing->ShowModal(), rtl::Exception);
    EXPECT_FALSE(failing->Visible());
    EXPECT_FALSE(failing->Modal());
}

TEST_F(ModalForms, ADriverThatLeavesTheFormOpenIsNotedAndTheFormEndsCancelled) {
    auto form = ui::NewForm<TTestDialog>();
    ui::Script().Modal([](TForm&) {});
    EXPECT_EQ(form->ShowModal(), mrCancel);
    EXPECT_EQ(ui::Script().Errors().size(), 1u);
    EXPECT_EQ(form->ShowModal(), mrCancel);  // no step at all: noted as well
    EXPECT_EQ(ui::Script().Errors().size(), 2u);
    ui::Script().Clear();
}

class FormLifecycle : public UiTest {};

TEST_F(FormLifecycle, ACreationHandlerThatFailsIsShownAndTheFormIsStillMade) {
    struct TFailing : TForm {
        explicit TFailing(rtl::TComponent* owner = nullptr) : TForm(owner) {
            OnCreate = [](rtl::TComponent*) { throw rtl::Exception("Error 5132: no table"); };
        }
    };
    ui::Script().Message(IDOK);
    auto form = ui::NewForm<TFailing>();
    EXPECT_NE(form, nullptr);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Error 5132: no table."});
}

TEST_F(FormLifecycle, OnDestroyRunsWhileTheWindowStillExists) {
    std::string seen;
    {
        auto form = ui::NewForm<TTestDialog>();
        form->OnDestroy = [&](rtl::TComponent*) { seen = form->Edit->Text(); };
        form->Edit->SetText("alive");
    }
    EXPECT_EQ(seen, "alive");
}

TEST_F(FormLifecycle, RunEndsWhenTheMainFormCloses) {
    auto* form = app().CreateForm<TTestDialog>();
    EXPECT_EQ(app().MainForm(), form);
    QTimer::singleShot(0, [form] { sim::CloseWindow(*form); });
    app().Run();
    EXPECT_TRUE(app().Terminated());
    EXPECT_FALSE(form->Visible());
}

class KeyPreview : public UiTest {};

TEST_F(KeyPreview, TheFormSeesKeysFirstAndMayConsumeThem) {
    auto form = uitest::ShownForm<TTestDialog>();
    std::vector<TKey> seen;
    form->SetKeyPreview(true);
    form->OnKeyDown = [&](rtl::TComponent* sender, TKey& key, TShiftState) {
        EXPECT_EQ(sender, form.get());
        seen.push_back(key);
        if (key == 'X') key = 0;
    };
    std::vector<TKey> editSaw;
    form->Edit->OnKeyDown = [&](rtl::TComponent*, TKey& key, TShiftState) {
        editSaw.push_back(key);
    };
    sim::Type(*form->Edit, "axb");
    EXPECT_EQ(seen, (std::vector<TKey>{'A', 'X', 'B'}));
    EXPECT_EQ(editSaw, (std::vector<TKey>{'A', 'B'}));
    EXPECT_EQ(form->Edit->Text(), "ab");

    sim::PressKey(*form->Edit, VK_NEXT);
    EXPECT_EQ(seen.back(), VK_NEXT);
    form->SetKeyPreview(false);
    sim::Type(*form->Edit, "x");
    EXPECT_EQ(form->Edit->Text(), "abx");
}

}  // namespace

namespace {

class Layout : public UiTest {};

TEST_F(Layout, AlignedControlsFollowTheirParentsSize) {
    auto form = uitest::ShownForm();
    form->SetClientSize(300, 200);
    auto* image = form->CreateOwned<TImage>();
    image->SetAlign(alClient);
    image->SetStretch(true);
    image->SetPicture(TPicture::Standard(QStyle::SP_ComputerIcon));
    auto* bottom = form->CreateOwned<TPanel>();
    bottom->SetHeight(41);
    bottom->SetAlign(alBottom);
    auto* box = form->CreateOwned<TGroupBox>();
    box->SetCaption("Log in Enrty");
    box->SetBounds(10, 10, 200, 100);
    auto* inBox = form->CreateOwned<TButton>(box);
    EXPECT_EQ(inBox->Parent(), box);
    EXPECT_EQ(inBox->ParentForm(), form.get());
    EXPECT_EQ(inBox->Widget()->parentWidget(), box->Widget());

    EXPECT_EQ(bottom->Top(), 159);
    EXPECT_EQ(bottom->Width(), 300);
    EXPECT_EQ(image->Height(), 159);
    form->SetClientSize(400, 250);
    EXPECT_EQ(bottom->Top(), 209);
    EXPECT_EQ(image->Width(), 400);
    EXPECT_FALSE(image->Picture().Empty());
}

TEST_F(Layout, FocusAndTheActiveControl) {
    auto form = uitest::ShownForm<TTestDialog>();
    auto* second = form->CreateOwned<TEdit>();
    second->SetFocus();
    EXPECT_TRUE(second->Focused());
    EXPECT_EQ(form->ActiveControl(), second);
    form->SetActiveControl(form->Edit);
    EXPECT_TRUE(form->Edit->Focused());
    EXPECT_FALSE(second->Focused());
}

TEST_F(Layout, ACentredFormIsPlacedInTheMiddleOfTheScreen) {
    auto form = ui::NewForm<TTestDialog>();
    form->SetClientSize(200, 100);
    form->Show();
    const QRect screen = form->Widget()->screen()->availableGeometry();
    // The place on the screen is in screen pixels, the size grows with the font.
    EXPECT_NEAR(form->Left() + form->Widget()->width() / 2, screen.center().x(), 2);
    EXPECT_NEAR(form->Top() + form->Widget()->height() / 2, screen.center().y(), 2);
    EXPECT_EQ(form->Caption(), "Test");
}

// The forms reach the modal stack, the error display and the end of the program through their
// host only: a host of the test's own sees every request, and no application part is needed.
class RecordingHost : public TFormHost {
  public:
    RecordingHost() : previous_(FormHost()) { SetFormHost(this); }
    ~RecordingHost() override { SetFormHost(previous_); }
    void PushModal(TForm&) override { calls.push_back("push"); }
    void PopModal(TForm&) override { calls.push_back("pop"); }
    void ModalResultSet(TForm& form) override {
        calls.push_back("result");
        if (form.ModalCloseDue()) form.CloseModal();
    }
    bool DriveModal(TForm& form) override {
        calls.push_back("drive");
        if (drive) drive(dynamic_cast<TTestDialog&>(form));
        if (!form.ModalDone()) form.AbandonModal();
        return true;
    }
    bool Terminated() const override { return false; }
    void HandleEvent(const std::function<void()>& handler) override {
        calls.push_back("event");
        handler();
    }
    void HandleException(std::exception_ptr) override { calls.push_back("error"); }
    void FormClosed(TForm&) override { calls.push_back("closed"); }
    void FormGone(TForm&) override { calls.push_back("gone"); }

    std::function<void(TTestDialog&)> drive;
    std::vector<std::string> calls;

  private:
    TFormHost* previous_;
};

class FormHostSeam : public UiTest {};

TEST_F(FormHostSeam, AModalShowAsksTheHostAtEachStep) {
    struct Case {
        const char* what;
        bool allowClose;
        TModalResult expected;
    };
    for (const Case& c : {Case{"the closing check allows", true, mrOk},
                          Case{"the closing check refuses", false, mrCancel}}) {
        SCOPED_TRACE(c.what);
        auto form = ui::NewForm<TTestDialog>();
        form->allowClose = c.allowClose;
        RecordingHost host;
        host.drive = [](TTestDialog& f) { f.SetModalResult(mrOk); };
        EXPECT_EQ(form->ShowModal(), c.expected);
        EXPECT_EQ(host.calls, (std::vector<std::string>{"push", "drive", "result", "pop"}));
        EXPECT_EQ(form->queries, 1);
        EXPECT_FALSE(form->Visible());
        EXPECT_FALSE(form->Modal());

        host.calls.clear();
        form->allowClose = true;
        form->Show();
        form->CloseFromTitleBar();  // the title bar's close: an event, then the host hears of it
        form.reset();
        EXPECT_EQ(host.calls, (std::vector<std::string>{"event", "closed", "gone"}));
    }
}

TEST_F(FormHostSeam, WithoutAHostAModalShowIsRefusedAndTheFormStaysHidden) {
    auto form = ui::NewForm<TTestDialog>();
    struct NoHost {
        TFormHost* previous = FormHost();
        NoHost() { SetFormHost(nullptr); }
        ~NoHost() { SetFormHost(previous); }
    } noHost;
    try {
        form->ShowModal();
        ADD_FAILURE() << "ShowModal without a host";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "No application object");
    }
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(form->Modal());
}

}  // namespace
