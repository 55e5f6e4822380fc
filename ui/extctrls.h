// More controls: panels, pictures, speed buttons, spin buttons, status bars and the
// read-only rich-text box.
#ifndef VELDA_UI_EXTCTRLS_H
#define VELDA_UI_EXTCTRLS_H

#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/stdctrls.h"

class QLabel;
class QToolButton;
class QAbstractButton;
class QPlainTextEdit;

namespace ui {

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A panel: holds controls and shows its caption (centred unless aligned otherwise).
class TPanel : public TWinControl {
  public:
    explicit TPanel(rtl::TComponent* owner, TWinControl* parent = nullptr);
    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    void SetBevelOuter(TBevelCut bevel);
    QLabel* Label() const;  // the panel's widget: a label that also holds the children

  private:
    std::string caption_;
    TAlignment alignment_ = taCenter;
};

class TImage : public TControl {
  public:
    explicit TImage(rtl::TComponent* owner, TWinControl* parent = nullptr);
    void SetPicture(const TPicture& picture);
    const TPicture& Picture() const { return picture_; }
    // Stretch: the picture fills the control.
    void SetStretch(bool stretch);

  private:
    TPicture picture_;
};

enum TButtonLayout { blGlyphLeft, blGlyphTop };

// A tool button: no focus of its own, a picture beside or above its caption.
class TSpeedButton : public TControl {
  public:
    explicit TSpeedButton(rtl::TComponent* owner, TWinControl* parent = nullptr);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    void SetGlyph(const TPicture& picture);
    void SetLayout(TButtonLayout layout);
    void SetFlat(bool flat);
    void Click();  // as the user's click: nothing while disabled

    TNotifyEvent OnClick;
    QToolButton* Button() const;
};

// Two arrow buttons on top of each other; Up and Down keys press them while it has the focus.
class TSpinButton : public TWinControl {
  public:
    explicit TSpinButton(rtl::TComponent* owner, TWinControl* parent = nullptr);
    TNotifyEvent OnUpClick, OnDownClick;
    QAbstractButton* UpButton() const;
    QAbstractButton* DownButton() const;

  private:
    friend class SpinWidget;
    QPointer<QAbstractButton> up_, down_;
};

// ---------------------------------------------------------------------------------------------
class TStatusBar;

class TStatusPanel {
  public:
    std::string Text() const { return text_; }
    void SetText(const std::string& text);
    int Width() const { return width_; }
    void SetWidth(int width);

  private:
    friend class TStatusBar;
    TStatusPanel(TStatusBar* bar, QLabel* label) : bar_(bar), label_(label) {}
    TStatusBar* bar_;
    QLabel* label_;
    std::string text_;
    int width_ = 50;
};

// Along the bottom of its form; panels from left to right, the last one takes what is left.
class TStatusBar : public TWinControl {
  public:
    explicit TStatusBar(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TStatusBar() override;
    TStatusPanel& AddPanel(int width, const std::string& text = "");
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    // rtl::EStringListError "List index out of bounds (<index>)" outside the panels.
    TStatusPanel& Panels(int index);

  private:
    friend class TStatusPanel;
    friend class StatusBarWidget;
    void Arrange();
    std::vector<std::unique_ptr<TStatusPanel>> panels_;
};

// ---------------------------------------------------------------------------------------------
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line text box for plain text (no rich-text formatting), read-only by default.
class TRichEdit : public TWinControl {
  public:
    explicit TRichEdit(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TRichEdit() override;
    TStrings& Lines();
    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);
    void SetWordWrap(bool wrap);
    void SetScrollBars(TScrollStyle scrollBars);
    QPlainTextEdit* TextEdit() const;

  private:
    class LineList;
    std::unique_ptr<LineList> lines_;
};

}  // namespace ui

#endif
