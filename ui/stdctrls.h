// Standard controls: buttons, labels, group boxes, edits (plain and masked), combo boxes, and
// the line lists that combo boxes and rich-text boxes share.
//
// Captions may carry "&" before the accelerator letter ("&OK"); "&&" is a plain ampersand.
#ifndef VELDA_UI_STDCTRLS_H
#define VELDA_UI_STDCTRLS_H

#include <memory>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/forms.h"

class QPushButton;
class QLabel;
class QGroupBox;
class QLineEdit;
class QComboBox;

namespace ui {

// A list of text lines (Windows-1252). An index outside the list raises
// rtl::EStringListError "List index out of bounds (<index>)".
class TStrings {
  public:
    virtual ~TStrings() = default;
    virtual int Count() const = 0;
    virtual std::string Strings(int index) const = 0;
    virtual void SetStrings(int index, const std::string& line) = 0;
    virtual void Insert(int index, const std::string& line) = 0;  // 0 to Count()
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;

    std::string operator[](int index) const { return Strings(index); }
    int Add(const std::string& line);
    int IndexOf(const std::string& line) const;  // exact comparison, -1 when absent
    // All lines, each ended by CR LF; SetText splits at CR, LF or CR LF.
    std::string Text() const;
    void SetText(const std::string& text);
    void Assign(const std::vector<std::string>& lines);
    std::vector<std::string> Lines() const;

  protected:
    void CheckIndex(int index, int limit) const;
};

// ---------------------------------------------------------------------------------------------
class TButton : public TWinControl {
  public:
    explicit TButton(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TButton() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // The default button takes Enter, the cancel button Esc, anywhere on the form.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value);
    // A click first sets the form's modal result to this (when not mrNone), then runs OnClick.
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }
    // Clicks the button as the user does: nothing happens while it is disabled.
    void Click();

    TNotifyEvent OnClick;
    QPushButton* Button() const;

  protected:
    virtual void Clicked();

  private:
    bool default_ = false;
    bool cancel_ = false;
    TModalResult modalResult_ = mrNone;
};

// A button with a picture. The standard kinds bring their picture and behave as the
// platform's: bkOK is the default button with mrOk, bkCancel the cancel button with mrCancel,
// bkYes/bkNo carry mrYes/mrNo, and bkClose closes its form instead of running OnClick.
enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkClose, bkYes, bkNo };

class TBitBtn : public TButton {
  public:
    explicit TBitBtn(rtl::TComponent* owner, TWinControl* parent = nullptr);
    TBitBtnKind Kind() const { return kind_; }
    void SetKind(TBitBtnKind kind);
    void SetGlyph(const TPicture& picture);

  protected:
    void Clicked() override;

  private:
    TBitBtnKind kind_ = bkCustom;
};

// ---------------------------------------------------------------------------------------------
class TLabel : public TControl {
  public:
    explicit TLabel(rtl::TComponent* owner, TWinControl* parent = nullptr);
    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    void SetAlignment(TAlignment alignment);
    // The control that the label's accelerator focuses.
    void SetFocusControl(TWinControl* control);
    // Fits the label to its text (on by default).
    void SetAutoSize(bool autoSize);
    QLabel* Label() const;

  private:
    void Update();
    std::string caption_;
    TWinControl* focusControl_ = nullptr;
    bool autoSize_ = true;
};

class TGroupBox : public TWinControl {
  public:
    explicit TGroupBox(rtl::TComponent* owner, TWinControl* parent = nullptr);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    QGroupBox* GroupBox() const;
};

// ---------------------------------------------------------------------------------------------
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A one-line text box.
class TCustomEdit : public TWinControl {
  public:
    std::string Text() const;
    void SetText(const std::string& text);
    void Clear() { SetText(""); }
    // At most this many characters (0: no limit).
    int MaxLength() const;
    void SetMaxLength(int length);
    // Upper or lower case is forced on whatever is typed, pasted or set.
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase charCase);
    // Shown in place of each character ('\0': the text itself).
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char passwordChar);
    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);

    void SelectAll();
    int SelStart() const;
    int SelLength() const;
    std::string SelText() const;
    void SetSelStart(int start);
    void SetSelLength(int length);

    // OnChange follows every change of the text, by the user or by code; OnClick a mouse
    // click; OnKeyDown a key going down, OnKeyPress a typed character.
    TNotifyEvent OnChange, OnClick, OnEnter, OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

    QLineEdit* LineEdit() const;

  protected:
    TCustomEdit(rtl::TComponent* owner, TWinControl* parent);
    virtual std::string GetText() const;
    // Applies the case forcing (and, in a masked edit, the mask) to the widget.
    virtual void UpdateInputRules();
    // The edit gets the focus.
    virtual void Entered() {}

  private:
    friend class EditEventFilter;
    bool FilterEvent(class QEvent* event);  // true: consumed
    bool resending_ = false;
    TEditCharCase charCase_ = ecNormal;
    char passwordChar_ = '\0';
};

class TEdit : public TCustomEdit {
  public:
    explicit TEdit(rtl::TComponent* owner, TWinControl* parent = nullptr)
        : TCustomEdit(owner, parent) {}
};

// A text box with an edit mask "<mask>;<save literals>;<blank>", for example "!999999;1;_" or
// "000000;1; " (six digits). Mask characters: 0 digit, 9 digit or blank, # digit, sign or
// blank, L letter, l letter or blank, A letter or digit, a letter, digit or blank, C any
// character, c any or blank; > upper case and < lower case for what follows, <> neither;
// \ makes the next character a literal; ! is accepted and ignored; anything else is a literal.
// The user types over the positions; literals are skipped. Text holds each position, a blank
// one as a space, and the literals unless the second part is 0. An empty mask: a plain edit.
class TMaskEdit : public TCustomEdit {
  public:
    explicit TMaskEdit(rtl::TComponent* owner, TWinControl* parent = nullptr)
        : TCustomEdit(owner, parent) {}
    const std::string& EditMask() const { return editMask_; }
    void SetEditMask(const std::string& mask);
    // The text as shown, blank positions with the blank character.
    std::string EditText() const;

  protected:
    std::string GetText() const override;
    void UpdateInputRules() override;
    // Entering a masked edit selects all of it, so that typing starts at the first position.
    void Entered() override;

  private:
    std::string editMask_;
};

// ---------------------------------------------------------------------------------------------
enum TComboBoxStyle { csDropDown, csDropDownList };

class TComboBox : public TWinControl {
  public:
    explicit TComboBox(rtl::TComponent* owner, TWinControl* parent = nullptr);
    ~TComboBox() override;

    TStrings& Items();
    // The item shown; -1 when the typed text is not one of the items.
    int ItemIndex() const;
    void SetItemIndex(int index);
    std::string Text() const;
    void SetText(const std::string& text);
    // csDropDown: the user may type; csDropDownList: only the items can be chosen.
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style);

    // The user chose an item or typed.
    TNotifyEvent OnChange;
    QComboBox* ComboBox() const;

  private:
    class ItemList;
    std::unique_ptr<ItemList> items_;
    TComboBoxStyle style_ = csDropDown;
};

}  // namespace ui

#endif
