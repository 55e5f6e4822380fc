// The application object: one per process, made by main (or by a test) before any window.
// It holds the title and the main form, runs the message loop, and is the one road for every
// message box, every modal window and every error that leaves an event handler.
//
// A stand-in for the person (SetStandIn, used by tests) answers every message box, modal form
// and file dialog instead of a person at the screen. Every message box shown, answered by a
// person or by the stand-in, is recorded in Messages().
//
// It is the forms' host (ui/formhost.h) while it lives: it owns the modal stack, and the forms
// reach it through that interface only.
#ifndef VELDA_UI_APPLICATION_H
#define VELDA_UI_APPLICATION_H

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rtl/component.h"
#include "ui/formhost.h"

class QApplication;
class QEventLoop;
class QFileDialog;

namespace ui {

class TForm;
class TOpenDialog;

// Message box flags and answers, numbered as the platform's.
inline constexpr int MB_OK = 0x0;
inline constexpr int MB_OKCANCEL = 0x1;
inline constexpr int MB_ABORTRETRYIGNORE = 0x2;
inline constexpr int MB_YESNOCANCEL = 0x3;
inline constexpr int MB_YESNO = 0x4;
inline constexpr int MB_RETRYCANCEL = 0x5;
inline constexpr int MB_ICONERROR = 0x10;  // also "stop" and "hand"
inline constexpr int MB_ICONSTOP = MB_ICONERROR;
inline constexpr int MB_ICONQUESTION = 0x20;
inline constexpr int MB_ICONWARNING = 0x30;  // also "exclamation"
inline constexpr int MB_ICONINFORMATION = 0x40;
inline constexpr int MB_DEFBUTTON1 = 0x000;
inline constexpr int MB_DEFBUTTON2 = 0x100;
inline constexpr int MB_DEFBUTTON3 = 0x200;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class TMsgIcon { None, Error, Question, Warning, Information };

// One message box as shown (texts in Windows-1252).
struct TMessageRecord {
    std::string caption;
    std::string text;
    TMsgIcon icon = TMsgIcon::None;
    int flags = MB_OK;
    int result = IDOK;  // the button that answered it
};

// Whoever answers the prompts when no person is at the screen (tests). The application asks
// it instead of showing a prompt and waiting.
class TUserStandIn {
  public:
    virtual ~TUserStandIn() = default;
    // The button that answers the message box; one of buttons, else the box's default is taken.
    virtual int AnswerMessage(const TMessageRecord& shown, const std::vector<int>& buttons) = 0;
    // Acts on a form just shown modally (OnShow done), as a person would. False when it has
    // nothing to do with the form: the form then ends with mrCancel.
    virtual bool DriveModal(TForm& form) = 0;
    // Called when DriveModal left the form open; the form then ends with mrCancel.
    virtual void ModalLeftOpen(TForm& form) = 0;
    // Acts on a file dialog; true when the dialog is accepted.
    virtual bool ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box) = 0;
};

class TApplication : public rtl::TComponent, public TFormHost {
  public:
    TApplication();  // program name "velda", no arguments
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // The main form: Run ends when it closes. The first form made by CreateForm becomes it.
    TForm* MainForm() const { return mainForm_; }
    void SetMainForm(TForm* form) { mainForm_ = form; }
    // A form owned by the application (destroyed with it, OnDestroy first); its OnCreate runs.
    template <class F, class... Args>
    F* CreateForm(Args&&... args) {
        F* form = CreateOwned<F>(std::forward<Args>(args)...);
        AdoptForm(form);
        return form;
    }
    // Destroys the forms the application owns (OnDestroy first), latest first.
    void DestroyForms();

    // Shows the main form and runs the message loop until the main form closes (or Terminate).
    void Run();
    void Terminate();  // ends Run and every modal loop (modal forms end with mrCancel)
    bool Terminated() const override { return terminated_; }
    void ProcessMessages();

    // Message boxes; texts in Windows-1252. Answers IDOK, IDCANCEL, IDYES, ...
    int MessageBox(const std::string& text, const std::string& caption, int flags = MB_OK);
    void ShowMessage(const std::string& text);  // OK, titled with Title()
    // The error display: error icon, OK, titled with Title(); the message gets a full stop when
    // it is not empty and its last byte sorts after '.'.
    void ShowException(const std::exception& error);
    static std::string ErrorText(const std::exception& error);  // the text ShowException shows
    // For a catch block: shows the error (rtl::EAbort and its kind silently).
    void HandleException(std::exception_ptr error) override;
    // Runs an event handler: an exception that leaves it ends it and is shown; then a modal
    // form whose ModalResult the handler set is closed (closing check first).
    void HandleEvent(const std::function<void()>& handler) override;

    // Not owned; nullptr (the default) for a person at the screen.
    void SetStandIn(TUserStandIn* standIn) { standIn_ = standIn; }
    TUserStandIn* StandIn() const { return standIn_; }
    const std::vector<TMessageRecord>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }

    // The modal form on top, nullptr when none is shown modally.
    TForm* ActiveModalForm() const { return modal_.empty() ? nullptr : modal_.back().form; }
    // For the file dialog component: shows box modally, or hands it to the stand-in.
    bool ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box);

    QApplication& Qt() const;

  private:
    class QtApplication;
    class CursorHooks;
    struct ModalEntry {
        TForm* form;
        int depth;  // event depth at which the form went modal
    };

    void Init();
    void AdoptForm(TForm* form);
    // Runs the closing check of the modal form on top when its result is set and the handler
    // at its depth has ended.
    void AfterEvent();
    // The form host: the modal stack, the stand-in's turn, the main form's close.
    void PushModal(TForm& form) override;
    void PopModal(TForm& form) override;
    void ModalResultSet(TForm& form) override;
    bool DriveModal(TForm& form) override;
    void FormClosed(TForm& form) override;
    void FormGone(TForm& form) override;

    int argc_ = 1;
    std::vector<char*> argv_;
    std::string programName_ = "velda";
    std::unique_ptr<QtApplication> qt_;
    std::unique_ptr<CursorHooks> cursorHooks_;
    std::string title_ = "velda";
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    QEventLoop* runLoop_ = nullptr;
    int eventDepth_ = 0;
    std::vector<ModalEntry> modal_;
    TUserStandIn* standIn_ = nullptr;
    std::vector<TMessageRecord> messages_;
};

// The application object; rtl::Exception when none exists.
TApplication& Application();
bool ApplicationExists();

}  // namespace ui

#endif
