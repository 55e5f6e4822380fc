#include "ui/application.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <algorithm>
#include <array>

#include "rtl/busycursor.h"
#include "rtl/exception.h"
#include "rtl/sysutils.h"
#include "ui/forms.h"
#include "ui/qtext.h"

namespace ui {

namespace {

TApplication* theApplication = nullptr;

std::vector<int> ButtonsOf(int flags) {
    switch (flags & 0xF) {
        case MB_OKCANCEL:
            return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE:
            return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL:
            return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO:
            return {IDYES, IDNO};
        case MB_RETRYCANCEL:
            return {IDRETRY, IDCANCEL};
        default:
            return {IDOK};
    }
}

TMsgIcon IconOf(int flags) {
    switch (flags & 0xF0) {
        case MB_ICONERROR:
            return TMsgIcon::Error;
        case MB_ICONQUESTION:
            return TMsgIcon::Question;
        case MB_ICONWARNING:
            return TMsgIcon::Warning;
        case MB_ICONINFORMATION:
            return TMsgIcon::Information;
        default:
            return TMsgIcon::None;
    }
}

// The answer when no button was chosen (the box closed, or the stand-in gave none of them):
// the safest button offered.
int DefaultAnswer(int flags) {
    std::vector<int> buttons = ButtonsOf(flags);
    for (int preferred : {IDCANCEL, IDNO})
        if (std::find(buttons.begin(), buttons.end(), preferred) != buttons.end()) return preferred;
    return buttons.front();
}

QMessageBox::StandardButton QtButton(int id) {
    switch (id) {
        case IDCANCEL:
            return QMessageBox::Cancel;
        case IDABORT:
            return QMessageBox::Abort;
        case IDRETRY:
            return QMessageBox::Retry;
        case IDIGNORE:
            return QMessageBox::Ignore;
        case IDYES:
            return QMessageBox::Yes;
        case IDNO:
            return QMessageBox::No;
        default:
            return QMessageBox::Ok;
    }
}

Qt::CursorShape QtCursor(rtl::TCursor cursor) {
    switch (cursor) {
        case rtl::crHourGlass:
        case rtl::crSQLWait:
            return Qt::WaitCursor;
        case rtl::crAppStart:
            return Qt::BusyCursor;
        case rtl::crIBeam:
            return Qt::IBeamCursor;
        case rtl::crCross:
            return Qt::CrossCursor;
        case rtl::crHandPoint:
            return Qt::PointingHandCursor;
        case rtl::crNo:
            return Qt::ForbiddenCursor;
        case rtl::crSizeAll:
            return Qt::SizeAllCursor;
        case rtl::crSizeNS:
            return Qt::SizeVerCursor;
        case rtl::crSizeWE:
            return Qt::SizeHorCursor;
        case rtl::crHelp:
            return Qt::WhatsThisCursor;
        case rtl::crNone:
            return Qt::BlankCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

// ---- the Qt application: key preview and the last line of exception handling ---------------

class TApplication::QtApplication : public QApplication {
  public:
    QtApplication(int& argc, char** argv, TApplication* owner)
        : QApplication(argc, argv), owner_(owner) {}

    bool notify(QObject* receiver, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && receiver->isWidgetType()) {
            // Called once per key press, before Qt hands it to the focused widget and its parents.
            QWidget* window = static_cast<QWidget*>(receiver)->window();
            if (auto* form = dynamic_cast<TForm*>(TControl::FromWidget(window))) {
                auto* key = static_cast<QKeyEvent*>(event);
                if (form->PreviewKey(key->key(), static_cast<int>(key->modifiers()))) return true;
            }
        }
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            // Exceptions must not cross Qt's event delivery.
            owner_->HandleException(std::current_exception());
            return true;
        }
    }

  private:
    TApplication* owner_;
};

// ---- the busy cursor through Qt's override cursor -------------------------------------------

class TApplication::CursorHooks : public rtl::BusyCursorHooks {
  public:
    CursorHooks() : previous_(rtl::SetBusyCursorHooks(this)) {}
    ~CursorHooks() override {
        rtl::SetBusyCursorHooks(previous_);
        if (overridden_) QApplication::restoreOverrideCursor();
    }
    rtl::TCursor current() const override { return cursor_; }
    void set(rtl::TCursor cursor) override {
        if (cursor == cursor_) return;
        if (cursor == rtl::crDefault) {
            if (overridden_) QApplication::restoreOverrideCursor();
            overridden_ = false;
        } else if (overridden_) {
            QApplication::changeOverrideCursor(QCursor(QtCursor(cursor)));
        } else {
            QApplication::setOverrideCursor(QCursor(QtCursor(cursor)));
            overridden_ = true;
        }
        cursor_ = cursor;
    }

  private:
    rtl::BusyCursorHooks* previous_;
    rtl::TCursor cursor_ = rtl::crDefault;
    bool overridden_ = false;
};

// ---- TApplication ---------------------------------------------------------------------------

TApplication::TApplication() {
    argv_ = {programName_.data(), nullptr};
    Init();
}

TApplication::TApplication(int& argc, char** argv) : argc_(argc) {
    argv_.assign(argv, argv + argc);
    argv_.push_back(nullptr);
    Init();
}

void TApplication::Init() {
    if (theApplication || QCoreApplication::instance())
        throw rtl::Exception("An application object exists already");
    qt_ = std::make_unique<QtApplication>(argc_, argv_.data(), this);
    theApplication = this;
    SetFormHost(this);
    QApplication::setQuitOnLastWindowClosed(false);
    cursorHooks_ = std::make_unique<CursorHooks>();
}

TApplication::~TApplication() {
    DestroyForms();
    DestroyComponents();
    cursorHooks_.reset();
    qt_.reset();
    if (FormHost() == this) SetFormHost(nullptr);
    theApplication = nullptr;
}

TApplication& Application() {
    if (!theApplication) throw rtl::Exception("No application object");
    return *theApplication;
}

bool ApplicationExists() {
    return theApplication != nullptr;
}

QApplication& TApplication::Qt() const {
    return *qt_;
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    QApplication::setApplicationDisplayName(ToQString(title));
}

void TApplication::AdoptForm(TForm* form) {
    if (!mainForm_) mainForm_ = form;
    form->DoCreate();
}

void TApplication::DestroyForms() {
    for (int i = ComponentCount() - 1; i >= 0; --i)
        if (auto* form = dynamic_cast<TForm*>(Components(i))) form->DoDestroy();
    DestroyComponents();
    mainForm_ = nullptr;
}

void TApplication::FormGone(TForm& form) {
    if (mainForm_ == &form) mainForm_ = nullptr;
    modal_.erase(std::remove_if(modal_.begin(), modal_.end(),
                                [&form](const ModalEntry& e) { return e.form == &form; }),
                 modal_.end());
}

void TApplication::FormClosed(TForm& form) {
    if (mainForm_ == &form) Terminate();
}

void TApplication::Run() {
    terminated_ = false;
    if (!mainForm_) return;
    HandleEvent([this] { mainForm_->Show(); });
    QEventLoop loop;
    runLoop_ = &loop;
    while (!terminated_ && mainForm_) loop.exec();
    runLoop_ = nullptr;
}

void TApplication::Terminate() {
    terminated_ = true;
    if (runLoop_) runLoop_->quit();
    for (const ModalEntry& entry : modal_) entry.form->EndModalLoop();
}

void TApplication::ProcessMessages() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// ---- message boxes and the error display ------------------------------------------------------

int TApplication::MessageBox(const std::string& text, const std::string& caption, int flags) {
    TMessageRecord shown{caption, text, IconOf(flags), flags, IDOK};
    const std::vector<int> buttons = ButtonsOf(flags);
    if (standIn_) {
        const int answer = standIn_->AnswerMessage(shown, buttons);
        shown.result = std::find(buttons.begin(), buttons.end(), answer) != buttons.end()
                           ? answer
                           : DefaultAnswer(flags);
    } else {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (shown.icon) {
            case TMsgIcon::Error:
                icon = QMessageBox::Critical;
                break;
            case TMsgIcon::Question:
                icon = QMessageBox::Question;
                break;
            case TMsgIcon::Warning:
                icon = QMessageBox::Warning;
                break;
            case TMsgIcon::Information:
                icon = QMessageBox::Information;
                break;
            case TMsgIcon::None:
                break;
        }
        QWidget* parent = modal_.empty() ? nullptr : modal_.back().form->Widget();
        QMessageBox box(icon, ToQString(caption), ToQString(text), QMessageBox::NoButton, parent);
        for (int id : buttons) box.addButton(QtButton(id));
        const size_t defaultIndex = static_cast<size_t>((flags >> 8) & 0xF);
        box.setDefaultButton(QtButton(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]));
        const int answer = box.exec();
        shown.result = DefaultAnswer(flags);
        for (int id : buttons)
            if (answer == QtButton(id)) shown.result = id;
    }
    messages_.push_back(shown);
    return shown.result;
}

void TApplication::ShowMessage(const std::string& text) {
    MessageBox(text, title_, MB_OK);
}

std::string TApplication::ErrorText(const std::exception& error) {
    const auto* own = dynamic_cast<const rtl::Exception*>(&error);
    std::string text = own ? own->Message() : std::string(error.what());
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

void TApplication::ShowException(const std::exception& error) {
    MessageBox(ErrorText(error), title_, MB_OK | MB_ICONERROR);
}

void TApplication::HandleException(std::exception_ptr error) {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const rtl::EAbort&) {
            // The silent exception: it ends the handler and says nothing.
        } catch (const std::exception& e) {
            ShowException(e);
        } catch (...) {
            ShowException(rtl::Exception("Unknown error"));
        }
    } catch (...) {
        // The error display itself failed (out of memory); nothing is left to tell the user.
    }
}

void TApplication::HandleEvent(const std::function<void()>& handler) {
    ++eventDepth_;
    try {
        handler();
    } catch (...) {
        HandleException(std::current_exception());
    }
    --eventDepth_;
    AfterEvent();
}

// ---- modal forms ------------------------------------------------------------------------------

void TApplication::PushModal(TForm& form) {
    modal_.push_back({&form, eventDepth_});
}

void TApplication::PopModal(TForm& form) {
    for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
        if (it->form == &form) {
            modal_.erase(std::next(it).base());
            return;
        }
    }
}

void TApplication::ModalResultSet(TForm&) {
    AfterEvent();
}

void TApplication::AfterEvent() {
    if (modal_.empty()) return;
    const ModalEntry top = modal_.back();
    if (eventDepth_ != top.depth || !top.form->ModalCloseDue()) return;
    ++eventDepth_;
    try {
        top.form->CloseModal();
    } catch (...) {
        HandleException(std::current_exception());
    }
    --eventDepth_;
}

bool TApplication::DriveModal(TForm& form) {
    if (!standIn_) return false;
    const bool driven = standIn_->DriveModal(form);
    if (driven && !form.ModalDone()) AfterEvent();
    if (!form.ModalDone()) {
        if (driven) standIn_->ModalLeftOpen(form);
        form.AbandonModal();
    }
    return true;
}

bool TApplication::ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box) {
    if (standIn_) return standIn_->ExecuteFileDialog(dialog, box);
    return box.exec() == QDialog::Accepted;
}

}  // namespace ui
