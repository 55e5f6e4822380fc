// The answers a test gives to the program's prompts, in order: message boxes, modal forms and
// file dialogs. Installed as the application's stand-in for the person at the screen.
//
// Steps are consumed in the order the prompts appear; a prompt without a matching step is
// answered with a default (Cancel / No / OK, mrCancel, no file) and noted in Errors().
#ifndef VELDA_TESTS_SUPPORT_UI_SCRIPT_H
#define VELDA_TESTS_SUPPORT_UI_SCRIPT_H

#include <deque>
#include <functional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "ui/application.h"

namespace ui {

class TScript : public TUserStandIn {
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

    int AnswerMessage(const TMessageRecord& shown, const std::vector<int>& buttons) override;
    bool DriveModal(TForm& form) override;
    void ModalLeftOpen(TForm& form) override;
    bool ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box) override;

  private:
    // One answer; exactly one of the three is set.
    struct Step {
        MessageAnswer message;
        ModalDriver modal;
        FileDialogDriver file;
    };
    template <class Matches>
    bool Take(Step& step, Matches matches);

    std::deque<Step> steps_;
    std::vector<std::string> errors_;
};

// The test program's one script, the stand-in of its headless application.
TScript& Script();

}  // namespace ui

#endif
