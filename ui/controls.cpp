#include "ui/controls.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <algorithm>

#include "rtl/exception.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/qtext.h"
#include "ui/scaling.h"

namespace ui {

namespace {

constexpr const char* kControlProperty = "velda_control";

// Realigns a container's children whenever Qt resizes its widget.
class ResizeWatcher : public QObject {
  public:
    ResizeWatcher(QObject* parent, TWinControl* control) : QObject(parent), control_(control) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) control_->Realign();
        return QObject::eventFilter(watched, event);
    }

  private:
    TWinControl* control_;
};

// The pixel rectangle of a design rectangle inside a parent: both edges scaled.
QRect ToPixels(int left, int top, int width, int height) {
    const int x = ScaleX(left), y = ScaleY(top);
    return QRect(x, y, std::max(0, ScaleX(left + std::max(0, width)) - x),
                 std::max(0, ScaleY(top + std::max(0, height)) - y));
}

}  // namespace

// ---- TPicture -------------------------------------------------------------------------------

TPicture TPicture::FromFile(const std::string& fileName) {
    QPixmap pixmap;
    if (!pixmap.load(ToQString(fileName)))
        throw rtl::Exception("Cannot open file \"" + fileName + "\"");
    return TPicture(pixmap);
}

TPicture TPicture::Standard(QStyle::StandardPixmap kind) {
    return TPicture(QApplication::style()->standardIcon(kind).pixmap(16, 16));
}

// ---- TControl -------------------------------------------------------------------------------

TControl::TControl(rtl::TComponent* owner, TWinControl* parent)
    : rtl::TComponent(owner), parent_(parent ? parent : dynamic_cast<TWinControl*>(owner)) {
    if (parent_) parent_->controls_.push_back(this);
}

TControl::~TControl() {
    if (parent_) {
        auto& siblings = parent_->controls_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    delete hooks_.data();
    if (widget_) {
        widget_->setProperty(kControlProperty, QVariant());
        delete widget_.data();
    }
}

void TControl::Attach(QWidget* widget) {
    widget_ = widget;
    hooks_ = new QObject(widget);
    widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(this)));
    // A control is visible unless hidden, also when made on a form already shown.
    if (widget->parentWidget()) widget->show();
}

QWidget* TControl::ParentWidget() const {
    return parent_ ? parent_->Widget() : nullptr;
}

TControl* TControl::FromWidget(const QWidget* w) {
    if (!w) return nullptr;
    QVariant v = w->property(kControlProperty);
    return v.isValid() ? static_cast<TControl*>(v.value<void*>()) : nullptr;
}

TForm* TControl::ParentForm() const {
    const TControl* c = this;
    while (c) {
        if (auto* form = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(form);
        c = c->parent_;
    }
    return nullptr;
}

// A window's place on the screen is in screen pixels; everything else in design pixels.
int TControl::Left() const {
    if (!widget_) return 0;
    return widget_->isWindow() ? widget_->x() : DesignX(widget_->x());
}
int TControl::Top() const {
    if (!widget_) return 0;
    return widget_->isWindow() ? widget_->y() : DesignY(widget_->y());
}
int TControl::Width() const {
    if (!widget_) return 0;
    const int x = widget_->isWindow() ? 0 : widget_->x();
    return DesignX(x + widget_->width()) - DesignX(x);
}
int TControl::Height() const {
    if (!widget_) return 0;
    const int y = widget_->isWindow() ? 0 : widget_->y();
    return DesignY(y + widget_->height()) - DesignY(y);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (!widget_) return;
    widget_->setGeometry(ToPixels(left, top, width, height));
    if (align_ != alNone && parent_) parent_->Realign();
}

void TControl::SetAlign(TAlign align) {
    align_ = align;
    if (parent_) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
    visible_ = visible;
    if (widget_) widget_->setVisible(visible);
    if (parent_ && align_ != alNone) parent_->Realign();
}

bool TControl::Showing() const {
    return widget_ && widget_->isVisible();
}

void TControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (widget_) widget_->setEnabled(enabled);
}

void TControl::SetFontBold(bool bold) {
    if (!widget_) return;
    QFont font = widget_->font();
    font.setBold(bold);
    widget_->setFont(font);
}

bool TControl::FontBold() const {
    return widget_ && widget_->font().bold();
}

void TControl::SetFont(const std::string& family, int pointSize) {
    if (!widget_) return;
    QFont font = widget_->font();
    font.setFamily(ToQString(family));
    if (pointSize > 0) font.setPointSize(pointSize);
    widget_->setFont(font);
}

void TControl::SetColor(TColor color) {
    if (!widget_) return;
    if (color < 0) {
        widget_->setAutoFillBackground(false);
        widget_->setPalette(QPalette());
        return;
    }
    QPalette palette = widget_->palette();
    palette.setColor(QPalette::Window,
                     QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    widget_->setPalette(palette);
    widget_->setAutoFillBackground(true);
}

void TControl::SetHint(const std::string& hint) {
    if (widget_) widget_->setToolTip(ToQString(hint));
}

void TControl::BringToFront() {
    if (widget_) widget_->raise();
}

void TControl::SendToBack() {
    if (widget_) widget_->lower();
}

void TControl::Fire(const TNotifyEvent& event) {
    if (event) Dispatch([&] { event(this); });
}

void TControl::Dispatch(const std::function<void()>& handler) {
    Application().HandleEvent(handler);
}

// ---- TWinControl ----------------------------------------------------------------------------

TWinControl::TWinControl(rtl::TComponent* owner, TWinControl* parent) : TControl(owner, parent) {}

TWinControl::~TWinControl() {
    for (TControl* child : controls_) child->parent_ = nullptr;
}

void TWinControl::WatchResize() {
    if (Widget()) Widget()->installEventFilter(new ResizeWatcher(Hooks(), this));
}

void TWinControl::SetFocus() {
    if (QWidget* w = Widget()) {
        w->setFocus(Qt::OtherFocusReason);
        if (QWidget* window = w->window(); window && window->isVisible()) window->activateWindow();
    }
}

bool TWinControl::Focused() const {
    const QWidget* w = Widget();
    if (!w) return false;
    const QWidget* focus = w->window()->focusWidget();
    // A compound widget (an editable combo box, a date field) focuses its inner editor.
    while (focus && focus != w && focus->focusProxy() != w && !FromWidget(focus))
        focus = focus->parentWidget();
    return focus == w;
}

bool TWinControl::TabStop() const {
    return Widget() && Widget()->focusPolicy() & Qt::TabFocus;
}

void TWinControl::SetTabStop(bool tabStop) {
    if (Widget()) Widget()->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

void TWinControl::Realign() {
    QWidget* w = Widget();
    if (!w) return;
    // Worked out in design pixels, as the controls' own sizes are, so that an aligned control
    // reads back the place the design arithmetic gives it.
    const QRect contents = w->contentsRect();
    int left = DesignX(contents.left()), top = DesignY(contents.top());
    int right = DesignX(contents.left() + contents.width());
    int bottom = DesignY(contents.top() + contents.height());
    auto place = [&](TAlign which) {
        for (TControl* c : controls_) {
            if (c->align_ != which || !c->visible_ || !c->Widget()) continue;
            QWidget* cw = c->Widget();
            const int width = c->Width(), height = c->Height();
            switch (which) {
                case alTop:
                    cw->setGeometry(ToPixels(left, top, right - left, height));
                    top += height;
                    break;
                case alBottom:
                    cw->setGeometry(ToPixels(left, bottom - height, right - left, height));
                    bottom -= height;
                    break;
                case alLeft:
                    cw->setGeometry(ToPixels(left, top, width, bottom - top));
                    left += width;
                    break;
                case alRight:
                    cw->setGeometry(ToPixels(right - width, top, width, bottom - top));
                    right -= width;
                    break;
                case alClient:
                    cw->setGeometry(ToPixels(left, top, right - left, bottom - top));
                    break;
                case alNone:
                    break;
            }
        }
    };
    for (TAlign which : {alTop, alBottom, alLeft, alRight, alClient}) place(which);
}

}  // namespace ui
