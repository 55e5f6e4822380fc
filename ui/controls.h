// The base of every visible component: a TComponent that owns one Qt widget.
//
// Owner and parent: the owner (a form, as a rule) destroys the component; the parent is the
// control whose widget holds this one's widget (a form, panel or group box). A component made
// with a parent of nullptr takes its owner as parent when the owner is a TWinControl.
// Positions and sizes are in design pixels relative to the parent, as placed by the window's code
// (scaled to the running font, ui/scaling.h);
// Align places a control along an edge of its parent, or over all that the others leave.
//
// Events are std::function members; every call of one goes through the application's event
// handling (TApplication::HandleEvent): an exception leaving a handler is shown and ends it.
#ifndef VELDA_UI_CONTROLS_H
#define VELDA_UI_CONTROLS_H

#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rtl/component.h"
#include "ui/keys.h"

namespace ui {

class TWinControl;
class TForm;

using TNotifyEvent = std::function<void(rtl::TComponent* sender)>;
// A key as it goes down; setting key to 0 consumes it.
using TKeyEvent = std::function<void(rtl::TComponent* sender, TKey& key, TShiftState shift)>;
// A typed character (Windows-1252); the handler may change it, or set it to 0 to drop it.
using TKeyPressEvent = std::function<void(rtl::TComponent* sender, char& key)>;

// Colours as 0x00BBGGRR. clDefault keeps the style's colour.
using TColor = std::int32_t;
inline constexpr TColor clDefault = -1;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A picture for images, speed buttons and bitmap buttons.
class TPicture {
  public:
    TPicture() = default;
    explicit TPicture(QPixmap pixmap) : pixmap_(std::move(pixmap)) {}
    // rtl::Exception 'Cannot open file "<name>"' when the file is missing or not a picture.
    static TPicture FromFile(const std::string& fileName);
    static TPicture Standard(QStyle::StandardPixmap kind);
    bool Empty() const { return pixmap_.isNull(); }
    const QPixmap& Pixmap() const { return pixmap_; }

  private:
    QPixmap pixmap_;
};

class TControl : public rtl::TComponent {
  public:
    ~TControl() override;

    // The widget, for tests and for what this layer does not wrap; nullptr once Qt dropped it.
    QWidget* Widget() const { return widget_.data(); }
    TWinControl* Parent() const { return parent_; }
    // The form this control is on (a form answers itself).
    TForm* ParentForm() const;
    // The control whose widget is w (nullptr for a widget of no control).
    static TControl* FromWidget(const QWidget* w);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    virtual void SetBounds(int left, int top, int width, int height);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    virtual bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible here and on every parent up to a shown form.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    void SetFontBold(bool bold);
    bool FontBold() const;
    void SetFont(const std::string& family, int pointSize);
    void SetColor(TColor color);
    void SetHint(const std::string& hint);
    void BringToFront();
    void SendToBack();

  protected:
    TControl(rtl::TComponent* owner, TWinControl* parent);
    // Takes the widget made by the derived class (parented to ParentWidget()).
    void Attach(QWidget* widget);
    // The context of every signal connection and the parent of every event filter of this
    // control: it goes first when the control is destroyed, so that nothing Qt does while the
    // widget is deleted reaches the half-destroyed control.
    QObject* Hooks() const { return hooks_.data(); }
    QWidget* ParentWidget() const;
    // Calls an event through the application's event handling.
    void Fire(const TNotifyEvent& event);
    void Dispatch(const std::function<void()>& handler);

  private:
    friend class TWinControl;
    QPointer<QWidget> widget_;
    QPointer<QObject> hooks_;
    TWinControl* parent_ = nullptr;
    TAlign align_ = alNone;
    bool visible_ = true;
    bool enabled_ = true;
};

// A control that can hold others and take the keyboard focus.
class TWinControl : public TControl {
  public:
    ~TWinControl() override;

    void SetFocus();
    // Has the focus within its window (whether or not the window is the active one).
    bool Focused() const;
    bool TabStop() const;
    void SetTabStop(bool tabStop);
    // Places the aligned children again (the layer does it when the control is resized).
    void Realign();

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }

  protected:
    TWinControl(rtl::TComponent* owner, TWinControl* parent);
    // Watches the widget for resizes to realign; call after Attach.
    void WatchResize();

  private:
    friend class TControl;
    std::vector<TControl*> controls_;
};

}  // namespace ui

#endif
