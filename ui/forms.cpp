#include "ui/forms.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "rtl/exception.h"
#include "ui/qtext.h"
#include "ui/scaling.h"
#include "ui/stdctrls.h"

namespace ui {

namespace {

TFormHost* theHost = nullptr;

// The host, for what a form cannot do without one (its modal show, its events).
TFormHost& Host() {
    if (!theHost) throw rtl::Exception("No application object");
    return *theHost;
}

// The form's top-level widget: hands the title bar's close button and the keys no control
// used (Enter, Esc) to the form.
class FormWidget : public QWidget {
  public:
    explicit FormWidget(TForm* form) : QWidget(nullptr, Qt::Window), form_(form) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The form decides and hides itself; Qt's own close never goes ahead.
        event->ignore();
        form_->CloseFromTitleBar();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (form_->HandleDialogKey(event->key(), static_cast<int>(event->modifiers())))
            event->accept();
        else
            QWidget::keyPressEvent(event);
    }

  private:
    TForm* form_;
};

}  // namespace

TFormHost* FormHost() {
    return theHost;
}

void SetFormHost(TFormHost* host) {
    theHost = host;
}

TForm::TForm(rtl::TComponent* owner) : TWinControl(owner, nullptr) {
    Attach(new FormWidget(this));
    WatchResize();
    Widget()->resize(400, 300);
    BeginLoading();
    ApplyWindowFlags();
}

TForm::~TForm() {
    if (theHost) theHost->FormGone(*this);
    if (modalLoop_) modalLoop_->quit();
    // The components go while the form's widget still holds theirs.
    DestroyComponents();
}

void TForm::DoCreate() {
    EndLoading();
    Fire(OnCreate);
}

void TForm::DoDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            Host().HandleException(std::current_exception());
        }
    }
}

std::string TForm::Caption() const {
    return FromQString(Widget()->windowTitle());
}

void TForm::SetCaption(const std::string& caption) {
    Widget()->setWindowTitle(ToQString(caption));
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
    borderStyle_ = style;
    ApplyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
    borderIcons_ = icons;
    ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
    QWidget* w = Widget();
    const bool shown = w->isVisible();
    Qt::WindowFlags flags;
    switch (borderStyle_) {
        case bsNone:
            flags = Qt::Window | Qt::FramelessWindowHint;
            break;
        case bsDialog:
            flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowCloseButtonHint;
            if (borderIcons_ & biSystemMenu) flags |= Qt::WindowSystemMenuHint;
            break;
        case bsSingle:
        case bsSizeable:
            flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowCloseButtonHint;
            if (borderIcons_ & biSystemMenu) flags |= Qt::WindowSystemMenuHint;
            if (borderIcons_ & biMinimize) flags |= Qt::WindowMinimizeButtonHint;
            if (borderIcons_ & biMaximize && borderStyle_ == bsSizeable)
                flags |= Qt::WindowMaximizeButtonHint;
            break;
    }
    w->setWindowFlags(flags);
    if (borderStyle_ == bsSizeable) {
        w->setMinimumSize(0, 0);
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        w->setFixedSize(w->size());
    }
    if (shown) w->show();
}

void TForm::SetBounds(int left, int top, int width, int height) {
    Widget()->move(left, top);
    SetClientSize(width, height);
}

void TForm::SetClientSize(int width, int height) {
    QWidget* w = Widget();
    width = ScaleX(width);
    height = ScaleY(height);
    if (borderStyle_ == bsSizeable) {
        w->resize(width, height);
    } else {
        w->setFixedSize(width, height);
    }
}

bool TForm::Visible() const {
    return Widget() && Widget()->isVisible();
}

void TForm::CenterOnScreen() {
    QWidget* w = Widget();
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
}

void TForm::SetVisible(bool visible) {
    QWidget* w = Widget();
    if (visible == w->isVisible()) {
        if (visible) w->activateWindow();
        return;
    }
    if (visible) {
        if (position_ == poScreenCenter) CenterOnScreen();
        w->show();
        w->activateWindow();
        if (OnShow) OnShow(this);
    } else {
        w->hide();
        if (OnHide) OnHide(this);
    }
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TForm::Close() {
    if (modal_) {
        // The modal loop runs the closing check once the current handler has ended.
        SetModalResult(mrCancel);
        return;
    }
    if (closing_) return;
    closing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closing_};
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    SetVisible(false);
    if (theHost) theHost->FormClosed(*this);
}

void TForm::CloseFromTitleBar() {
    Host().HandleEvent([this] { Close(); });
}

void TForm::SetModalResult(TModalResult result) {
    modalResult_ = result;
    if (!modal_ || result == mrNone || closing_) return;
    // Outside any event handler (a test script, code after the loop) the check runs now;
    // inside one it runs when that handler ends.
    Host().ModalResultSet(*this);
}

bool TForm::CloseModal() {
    if (closing_ || modalDone_) return modalDone_;
    closing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{closing_};
    try {
        bool canClose = CloseQuery();
        TCloseAction action = caHide;
        if (canClose && OnClose) OnClose(this, action);
        if (!canClose || action == caNone) {
            modalResult_ = mrNone;
            return false;
        }
    } catch (...) {
        modalResult_ = mrNone;
        throw;
    }
    modalDone_ = true;
    SetVisible(false);
    EndModalLoop();
    return true;
}

void TForm::EndModalLoop() {
    if (modalLoop_) modalLoop_->quit();
}

void TForm::AbandonModal() {
    modalResult_ = mrCancel;
    modalDone_ = true;
    EndModalLoop();
}

TModalResult TForm::ShowModal() {
    if (Visible() || modal_) throw rtl::Exception("Cannot make a visible window modal");
    TFormHost& host = Host();
    QWidget* w = Widget();
    modalResult_ = mrNone;
    modalDone_ = false;
    modal_ = true;
    w->setWindowModality(Qt::ApplicationModal);
    host.PushModal(*this);
    // Off the stack and hidden on every way out, an exception from OnShow included.
    struct Cleanup {
        TForm& form;
        TFormHost& host;
        ~Cleanup() {
            form.modal_ = false;
            form.modalLoop_ = nullptr;
            host.PopModal(form);
            if (QWidget* w = form.Widget()) {
                w->hide();
                w->setWindowModality(Qt::NonModal);
            }
        }
    } cleanup{*this, host};

    SetVisible(true);
    // OnShow may have set the result already.
    if (ModalCloseDue()) host.ModalResultSet(*this);
    if (!modalDone_ && !host.DriveModal(*this)) {
        QEventLoop loop;
        modalLoop_ = &loop;
        while (!modalDone_ && !host.Terminated()) loop.exec();
    }
    if (host.Terminated() && !modalDone_) modalResult_ = mrCancel;
    return modalResult_;
}

TWinControl* TForm::ActiveControl() const {
    QWidget* focus = Widget()->focusWidget();
    while (focus && focus != Widget()) {
        if (auto* control = dynamic_cast<TWinControl*>(TControl::FromWidget(focus))) return control;
        focus = focus->parentWidget();
    }
    return nullptr;
}

void TForm::SetActiveControl(TWinControl* control) {
    if (control) control->SetFocus();
}

void TForm::SetDefaultButton(TButton* button, bool isDefault) {
    if (isDefault) {
        defaultButton_ = button;
    } else if (defaultButton_ == button) {
        defaultButton_ = nullptr;
    }
}

void TForm::SetCancelButton(TButton* button, bool isCancel) {
    if (isCancel) {
        cancelButton_ = button;
    } else if (cancelButton_ == button) {
        cancelButton_ = nullptr;
    }
}

bool TForm::HandleDialogKey(int qtKey, int qtModifiers) {
    if (qtModifiers & (Qt::AltModifier | Qt::ControlModifier)) return false;
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) {
        // A focused button takes Enter itself; otherwise the default button does.
        TButton* target = dynamic_cast<TButton*>(ActiveControl());
        if (!target) target = defaultButton_;
        if (target && target->Showing() && target->Enabled()) {
            target->Click();
            return true;
        }
        return false;
    }
    if (qtKey == Qt::Key_Escape && cancelButton_ && cancelButton_->Showing() &&
        cancelButton_->Enabled()) {
        cancelButton_->Click();
        return true;
    }
    return false;
}

bool TForm::PreviewKey(int qtKey, int qtModifiers) {
    if (!keyPreview_ || !OnKeyDown) return false;
    TKey key = KeyFromQt(qtKey);
    if (key == 0) return false;
    TShiftState shift = ShiftFromQt(qtModifiers);
    Dispatch([&] { OnKeyDown(this, key, shift); });
    return key == 0;
}

}  // namespace ui
