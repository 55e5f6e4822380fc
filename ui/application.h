// The application object: one per process, made by main (or by a test) before any window.
// It holds the title and the main form, runs the message loop, and is the one road for every
// message box, every modal window and every error that leaves an event handler.
//
// Scripting (for tests): SetScripted(true) makes every message box, modal form and file dialog
// take its answer from Script() instead of waiting for a person. Steps are consumed in the
// order the prompts appear; a prompt without a matching step is answered with a default
// (Cancel / No / OK, mrCancel, no file) and noted in Script().Errors(). Every message box shown,
// scripted or not, is recorded in Messages().
#ifndef VELDA_UI_APPLICATION_H
#define VELDA_UI_APPLICATION_H

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "rtl/component.h"

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

// The answers a test gives, in order.
class TScript {
  public:
    using MessageAnswer = std::function<int(const TMessageRecord& shown)>;
    using ModalDriver = std::function<void(TForm& form)>;
    // Called with the shown (non-blocking) file dialog: accept() or reject() it, or leave it
    // and it counts as cancelled.
    using FileDialogDriver = std::function<void(TOpenDialog& dialog, QFileDialog& box)>;

    // The next message box is answered with this button.
    void Message(int result = IDOK);
    void Message(MessageAnswer answer);
    // The next modal form is given to drive; it runs once the form is shown (OnShow done).
    // Whatever the driver leaves open is closed with mrCancel and noted as an error.
    void Modal(ModalDriver drive);
    template <class F>
    void Modal(std::function<void(F& form)> drive) {
        Modal([this, drive = std::move(drive)](TForm& form) {
            if (F* typed = dynamic_cast<F*>(&form))
                drive(*typed);
            else
                NoteError(std::string("modal form is not a ") + typeid(F).name());
        });
    }
    // The next file dialog: driven, confirmed with a file name, or cancelled.
    void FileDialog(FileDialogDriver drive);
    void ChooseFile(const std::string& fileName);
    void CancelFileDialog();

    int Pending() const { return static_cast<int>(steps_.size()); }
    // Prompts that found no step of their kind, drivers that left a form open.
    const std::vector<std::string>& Errors() const { return errors_; }
    void NoteError(const std::string& error) { errors_.push_back(error); }
    void Clear();

    // One answer; exactly one of the three is set.
    struct Step {
        MessageAnswer message;
        ModalDriver modal;
        FileDialogDriver file;
    };

  private:
    friend class TApplication;
    std::deque<Step> steps_;
    std::vector<std::string> errors_;
};

class TApplication : public rtl::TComponent {
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
    bool Terminated() const { return terminated_; }
    void ProcessMessages();

    // Message boxes; texts in Windows-1252. Answers IDOK, IDCANCEL, IDYES, ...
    int MessageBox(const std::string& text, const std::string& caption, int flags = MB_OK);
    void ShowMessage(const std::string& text);  // OK, titled with Title()
    // The error display: error icon, OK, titled with Title(); the message gets a full stop when
    // it is not empty and its last byte sorts after '.'.
    void ShowException(const std::exception& error);
    static std::string ErrorText(const std::exception& error);  // the text ShowException shows
    // For a catch block: shows the error (rtl::EAbort and its kind silently).
    void HandleException(std::exception_ptr error);
    // Runs an event handler: an exception that leaves it ends it and is shown; then a modal
    // form whose ModalResult the handler set is closed (closing check first).
    void HandleEvent(const std::function<void()>& handler);

    void SetScripted(bool scripted) { scripted_ = scripted; }
    bool Scripted() const { return scripted_; }
    TScript& Script() { return script_; }
    const std::vector<TMessageRecord>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }

    // The modal form on top, nullptr when none is shown modally.
    TForm* ActiveModalForm() const { return modal_.empty() ? nullptr : modal_.back().form; }
    // For the file dialog component: shows box modally, or hands it to the script.
    bool ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box);

    QApplication& Qt() const;

  private:
    friend class TForm;
    class QtApplication;
    class CursorHooks;
    struct ModalEntry {
        TForm* form;
        int depth;  // event depth at which the form went modal
    };

    void Init();
    void AdoptForm(TForm* form);
    bool TakeStep(TScript::Step& step, bool (*matches)(const TScript::Step&));
    void AfterEvent();
    // Used by TForm.
    void PushModal(TForm* form) { modal_.push_back({form, eventDepth_}); }
    void PopModal(TForm* form);
    // Hands a form just shown modally to the next script step; ends it when the step is done.
    void RunModalScript(TForm& form);
    void FormGone(TForm* form);

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
    bool scripted_ = false;
    TScript script_;
    std::vector<TMessageRecord> messages_;
};

// The application object; rtl::Exception when none exists.
TApplication& Application();
bool ApplicationExists();

}  // namespace ui

#endif
