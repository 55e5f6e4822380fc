// The seam between the forms and whoever runs the program's windows (the application object).
//
// The host owns the modal stack: which forms are shown modally, at which event depth each went
// modal, and when a modal result set inside an event handler is acted on (once that handler has
// ended). A form keeps its own modal state (result, done, its nested event loop) and reaches the
// stack only through this interface; the host reaches the form only through TForm's public modal
// members. So forms.cpp is read without application.cpp, and a test can stand in for the host.
#ifndef VELDA_UI_FORMHOST_H
#define VELDA_UI_FORMHOST_H

#include <exception>
#include <functional>

namespace ui {

class TForm;

class TFormHost {
  public:
    virtual ~TFormHost() = default;

    // The form goes modal (pushed on the stack at the current event depth) / has ended (popped;
    // also on every way out by an exception).
    virtual void PushModal(TForm& form) = 0;
    virtual void PopModal(TForm& form) = 0;
    // A modal result was set on form, which is modal: the host runs its closing check now when
    // no event handler is running, else when the handler that set it ends.
    virtual void ModalResultSet(TForm& form) = 0;
    // Hands a modal form just shown to whoever answers instead of a person; true when that
    // happened (the form has ended then), false when a person drives it in its own event loop.
    virtual bool DriveModal(TForm& form) = 0;
    // The program is ending: modal loops stop and their forms end with mrCancel.
    virtual bool Terminated() const = 0;

    // Runs an event handler; an exception that leaves it is shown and ends it.
    virtual void HandleEvent(const std::function<void()>& handler) = 0;
    // Shows the error of a catch block (the silent abort says nothing).
    virtual void HandleException(std::exception_ptr error) = 0;

    // The form was closed (hidden by Close); the host ends the program when it is the main form.
    virtual void FormClosed(TForm& form) = 0;
    // The form is being destroyed: the host forgets it.
    virtual void FormGone(TForm& form) = 0;
};

// The host of every form; nullptr when none exists. The application object sets itself while it
// lives; a test may put its own in place and must put the previous one back.
TFormHost* FormHost();
void SetFormHost(TFormHost* host);

}  // namespace ui

#endif
