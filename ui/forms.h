// Forms: top-level windows that own their components.
//
// A window class derives from TForm, makes its components in its constructor (owned by the
// form: CreateOwned<TButton>(parent...)) and assigns its event handlers. Make forms with
// NewForm<T>(...) (no owner, destroyed when the pointer goes) or TApplication::CreateForm<T>():
// both end the form's loading (each component's Loaded hook) and then run OnCreate; an
// exception from OnCreate is shown and the form is still made. OnDestroy runs when a form made
// by either is destroyed, while the whole window object still exists.
//
// Closing: every close (Close(), a modal result, the title bar's close button) asks
// OnCloseQuery first and then OnClose, which may keep the form open with caNone.
// A modal show (ShowModal) is a nested event loop that ends when the modal result is set and
// the closing check allows it; while the application is scripted, the script drives the form.
// The modal stack itself belongs to the form host (ui/formhost.h), which the form reaches only
// through that interface.
#ifndef VELDA_UI_FORMS_H
#define VELDA_UI_FORMS_H

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "ui/controls.h"
#include "ui/formhost.h"
#include "ui/keys.h"

class QEventLoop;

namespace ui {

class TButton;

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum TPosition { poDesigned, poScreenCenter };
enum TCloseAction { caNone, caHide };

// Title-bar buttons beside the close button.
using TBorderIcons = unsigned;
inline constexpr TBorderIcons biSystemMenu = 1;
inline constexpr TBorderIcons biMinimize = 2;
inline constexpr TBorderIcons biMaximize = 4;

class TForm : public TWinControl {
  public:
    using TCloseEvent = std::function<void(rtl::TComponent* sender, TCloseAction& action)>;
    using TCloseQueryEvent = std::function<void(rtl::TComponent* sender, bool& canClose)>;

    explicit TForm(rtl::TComponent* owner = nullptr);
    ~TForm() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    void SetBorderIcons(TBorderIcons icons);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position) { position_ = position; }
    // The client area in design pixels (Width/Height of a form are its client area too).
    void SetClientSize(int width, int height);
    void SetBounds(int left, int top, int width, int height) override;
    // With KeyPreview the form's OnKeyDown sees each key before the focused control; setting
    // the key to 0 consumes it.
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool preview) { keyPreview_ = preview; }

    // Show (OnShow when it was hidden), Hide, Close (closing check); SetVisible(true) shows.
    bool Visible() const override;
    void SetVisible(bool visible) override;
    void Close();
    // Runs the form modally and answers its modal result; rtl::Exception "Cannot make a
    // visible window modal" when it is already shown. An exception from OnShow hides the form
    // and leaves ShowModal.
    TModalResult ShowModal();
    bool Modal() const { return modal_; }
    TModalResult ModalResult() const { return modalResult_; }
    // On a modal form a modal result other than mrNone closes it (closing check first) once
    // the event handler that set it has ended.
    void SetModalResult(TModalResult result);

    // The control with the focus within this form (nullptr when none of ours has it).
    TWinControl* ActiveControl() const;
    void SetActiveControl(TWinControl* control);
    // Enter presses the default button, Esc the cancel button (buttons register themselves).
    TButton* DefaultButton() const { return defaultButton_; }
    TButton* CancelButton() const { return cancelButton_; }

    TNotifyEvent OnCreate, OnShow, OnHide, OnDestroy;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TKeyEvent OnKeyDown;

    // For the form factories: end loading and run OnCreate / run OnDestroy once.
    void DoCreate();
    void DoDestroy();
    // For TButton.
    void SetDefaultButton(TButton* button, bool isDefault);
    void SetCancelButton(TButton* button, bool isCancel);
    // For the widget: keys the focused control left to the form, the title bar's close.
    bool HandleDialogKey(int qtKey, int qtModifiers);
    void CloseFromTitleBar();
    bool PreviewKey(int qtKey, int qtModifiers);  // true: consumed

    // For the form host's modal stack.
    // The modal show has ended (its result is final).
    bool ModalDone() const { return modalDone_; }
    // Modal with a result set, not ended and not inside its closing check: the host runs
    // CloseModal once no event handler of the form's depth is running.
    bool ModalCloseDue() const {
        return modal_ && modalResult_ != mrNone && !modalDone_ && !closing_;
    }
    // The closing check and OnClose of a modal form; true when it ended (hidden, loop left).
    // When the check refuses, the modal result goes back to mrNone.
    bool CloseModal();
    // Leaves the form's modal loop (the program ends); the form ends with mrCancel.
    void EndModalLoop();
    // Ends the modal show with mrCancel without the closing check (whoever drove it left it open).
    void AbandonModal();

  private:
    bool CloseQuery();
    void ApplyWindowFlags();
    void CenterOnScreen();

    TFormBorderStyle borderStyle_ = bsSizeable;
    TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TPosition position_ = poDesigned;
    bool keyPreview_ = false;
    bool modal_ = false;
    bool modalDone_ = false;
    bool closing_ = false;
    bool destroyed_ = false;
    TModalResult modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    TButton* defaultButton_ = nullptr;
    TButton* cancelButton_ = nullptr;
};

// Destroys a form made by NewForm: OnDestroy first.
struct TFormDeleter {
    void operator()(TForm* form) const {
        form->DoDestroy();
        delete form;
    }
};
template <class F>
using TFormPtr = std::unique_ptr<F, TFormDeleter>;

template <class F, class... Args>
TFormPtr<F> NewForm(Args&&... args) {
    TFormPtr<F> form(new F(std::forward<Args>(args)...));
    form->DoCreate();
    return form;
}

}  // namespace ui

#endif
