#include "ui/stdctrls.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QValidator>

#include "rtl/stringlist.h"
#include "ui/editmask.h"
#include "ui/qtext.h"

namespace ui {

// ---- TStrings -------------------------------------------------------------------------------

int TStrings::Add(const std::string& line) {
    Insert(Count(), line);
    return Count() - 1;
}

int TStrings::IndexOf(const std::string& line) const {
    for (int i = 0; i < Count(); ++i)
        if (Strings(i) == line) return i;
    return -1;
}

std::string TStrings::Text() const {
    std::string text;
    for (int i = 0; i < Count(); ++i) text += Strings(i) + "\r\n";
    return text;
}

void TStrings::SetText(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool pending = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            pending = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(line);
    Assign(lines);
}

void TStrings::Assign(const std::vector<std::string>& lines) {
    Clear();
    for (const std::string& line : lines) Add(line);
}

std::vector<std::string> TStrings::Lines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < Count(); ++i) lines.push_back(Strings(i));
    return lines;
}

void TStrings::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit)
        throw rtl::EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

// ---- TButton --------------------------------------------------------------------------------

TButton::TButton(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    auto* button = new QPushButton(ParentWidget());
    // Enter is the form's business (default button, focused button), not the button's own.
    button->setAutoDefault(false);
    Attach(button);
    button->resize(75, 25);
    QObject::connect(button, &QPushButton::clicked, Hooks(), [this] { Clicked(); });
}

TButton::~TButton() {
    if (TForm* form = ParentForm()) {
        form->SetDefaultButton(this, false);
        form->SetCancelButton(this, false);
    }
}

QPushButton* TButton::Button() const {
    return static_cast<QPushButton*>(Widget());
}

std::string TButton::Caption() const {
    return FromQString(Button()->text());
}

void TButton::SetCaption(const std::string& caption) {
    Button()->setText(ToQString(caption));
}

void TButton::SetDefault(bool value) {
    default_ = value;
    Button()->setDefault(value);
    if (TForm* form = ParentForm()) form->SetDefaultButton(this, value);
}

void TButton::SetCancel(bool value) {
    cancel_ = value;
    if (TForm* form = ParentForm()) form->SetCancelButton(this, value);
}

void TButton::Click() {
    Button()->click();
}

void TButton::Clicked() {
    Dispatch([this] {
        if (modalResult_ != mrNone)
            if (TForm* form = ParentForm()) form->SetModalResult(modalResult_);
        if (OnClick) OnClick(this);
    });
}

// ---- TBitBtn --------------------------------------------------------------------------------

TBitBtn::TBitBtn(rtl::TComponent* owner, TWinControl* parent) : TButton(owner, parent) {}

void TBitBtn::SetKind(TBitBtnKind kind) {
    kind_ = kind;
    struct Standard {
        QStyle::StandardPixmap pixmap;
        const char* caption;
        TModalResult result;
    };
    Standard standard{};
    switch (kind) {
        case bkCustom:
            return;
        case bkOK:
            standard = {QStyle::SP_DialogOkButton, "OK", mrOk};
            break;
        case bkCancel:
            standard = {QStyle::SP_DialogCancelButton, "Cancel", mrCancel};
            break;
        case bkClose:
            standard = {QStyle::SP_DialogCloseButton, "&Close", mrNone};
            break;
        case bkYes:
            standard = {QStyle::SP_DialogYesButton, "&Yes", mrYes};
            break;
        case bkNo:
            standard = {QStyle::SP_DialogNoButton, "&No", mrNo};
            break;
    }
    SetGlyph(TPicture::Standard(standard.pixmap));
    if (Caption().empty()) SetCaption(standard.caption);
    SetModalResult(standard.result);
    if (kind == bkOK) SetDefault(true);
    if (kind == bkCancel) SetCancel(true);
}

void TBitBtn::SetGlyph(const TPicture& picture) {
    Button()->setIcon(QIcon(picture.Pixmap()));
}

void TBitBtn::Clicked() {
    if (kind_ != bkClose) {
        TButton::Clicked();
        return;
    }
    Dispatch([this] {
        if (TForm* form = ParentForm()) form->Close();
    });
}

// ---- TLabel ---------------------------------------------------------------------------------

namespace {

// "&Name" without a control to focus: the ampersands only mark, they are not shown.
std::string StripAccelerators(const std::string& caption) {
    std::string shown;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                shown += '&';
                ++i;
            }
            continue;
        }
        shown += caption[i];
    }
    return shown;
}

}  // namespace

TLabel::TLabel(rtl::TComponent* owner, TWinControl* parent) : TControl(owner, parent) {
    Attach(new QLabel(ParentWidget()));
}

QLabel* TLabel::Label() const {
    return static_cast<QLabel*>(Widget());
}

void TLabel::SetCaption(const std::string& caption) {
    caption_ = caption;
    Update();
}

void TLabel::SetFocusControl(TWinControl* control) {
    focusControl_ = control;
    Update();
}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    Update();
}

void TLabel::Update() {
    QLabel* label = Label();
    label->setBuddy(focusControl_ ? focusControl_->Widget() : nullptr);
    label->setText(ToQString(focusControl_ ? caption_ : StripAccelerators(caption_)));
    if (autoSize_) label->adjustSize();
}

void TLabel::SetAlignment(TAlignment alignment) {
    Qt::Alignment horizontal = alignment == taRightJustify ? Qt::AlignRight
                               : alignment == taCenter     ? Qt::AlignHCenter
                                                           : Qt::AlignLeft;
    Label()->setAlignment(horizontal | Qt::AlignVCenter);
}

// ---- TGroupBox ------------------------------------------------------------------------------

TGroupBox::TGroupBox(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    Attach(new QGroupBox(ParentWidget()));
    WatchResize();
    Widget()->resize(185, 105);
}

QGroupBox* TGroupBox::GroupBox() const {
    return static_cast<QGroupBox*>(Widget());
}

std::string TGroupBox::Caption() const {
    return FromQString(GroupBox()->title());
}

void TGroupBox::SetCaption(const std::string& caption) {
    GroupBox()->setTitle(ToQString(caption));
}

// ---- TCustomEdit ----------------------------------------------------------------------------

namespace {

// Forces the case of whatever reaches the edit (typed or pasted).
class CaseValidator : public QValidator {
  public:
    CaseValidator(TEditCharCase charCase, QObject* parent)
        : QValidator(parent), charCase_(charCase) {}
    State validate(QString& input, int&) const override {
        input = charCase_ == ecUpperCase ? input.toUpper() : input.toLower();
        return Acceptable;
    }

  private:
    TEditCharCase charCase_;
};

// The style's password character replaced by the edit's own.
class PasswordStyle : public QProxyStyle {
  public:
    PasswordStyle(const QString& base, QChar passwordChar)
        : QProxyStyle(base), passwordChar_(passwordChar) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return passwordChar_.unicode();
        return QProxyStyle::styleHint(hint, option, widget, data);
    }

  private:
    QChar passwordChar_;
};

QString WithCase(const QString& text, TEditCharCase charCase) {
    switch (charCase) {
        case ecUpperCase:
            return text.toUpper();
        case ecLowerCase:
            return text.toLower();
        case ecNormal:
            break;
    }
    return text;
}

}  // namespace

class EditEventFilter : public QObject {
  public:
    EditEventFilter(QObject* parent, TCustomEdit* edit) : QObject(parent), edit_(edit) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return edit_->FilterEvent(event) || QObject::eventFilter(watched, event);
    }

  private:
    TCustomEdit* edit_;
};

TCustomEdit::TCustomEdit(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    auto* edit = new QLineEdit(ParentWidget());
    Attach(edit);
    edit->resize(121, 21);
    edit->installEventFilter(new EditEventFilter(Hooks(), this));
    QObject::connect(edit, &QLineEdit::textChanged, Hooks(), [this] { Fire(OnChange); });
}

QLineEdit* TCustomEdit::LineEdit() const {
    return static_cast<QLineEdit*>(Widget());
}

std::string TCustomEdit::GetText() const {
    return FromQString(LineEdit()->text());
}

std::string TCustomEdit::Text() const {
    return GetText();
}

void TCustomEdit::SetText(const std::string& text) {
    QLineEdit* edit = LineEdit();
    edit->setText(WithCase(ToQString(text), charCase_));
    // Qt leaves the cursor at the end, where a mask takes nothing more: back to the start.
    if (!edit->inputMask().isEmpty()) edit->setCursorPosition(0);
}

int TCustomEdit::MaxLength() const {
    const int length = LineEdit()->maxLength();
    return length >= 32767 ? 0 : length;
}

void TCustomEdit::SetMaxLength(int length) {
    LineEdit()->setMaxLength(length > 0 ? length : 32767);
}

void TCustomEdit::SetCharCase(TEditCharCase charCase) {
    charCase_ = charCase;
    UpdateInputRules();
    if (charCase_ != ecNormal) LineEdit()->setText(WithCase(LineEdit()->text(), charCase_));
}

void TCustomEdit::UpdateInputRules() {
    QLineEdit* edit = LineEdit();
    const QValidator* old = edit->validator();
    edit->setValidator(charCase_ == ecNormal ? nullptr : new CaseValidator(charCase_, edit));
    delete old;
}

void TCustomEdit::SetPasswordChar(char passwordChar) {
    passwordChar_ = passwordChar;
    QLineEdit* edit = LineEdit();
    if (passwordChar == '\0') {
        edit->setEchoMode(QLineEdit::Normal);
        return;
    }
    const QString shown = ToQString(std::string(1, passwordChar));
    auto* style = new PasswordStyle(edit->style()->name(), shown.at(0));
    style->setParent(edit);
    edit->setStyle(style);
    edit->setEchoMode(QLineEdit::Password);
}

bool TCustomEdit::ReadOnly() const {
    return LineEdit()->isReadOnly();
}

void TCustomEdit::SetReadOnly(bool readOnly) {
    LineEdit()->setReadOnly(readOnly);
}

void TCustomEdit::SelectAll() {
    LineEdit()->selectAll();
}

int TCustomEdit::SelStart() const {
    QLineEdit* edit = LineEdit();
    return edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
}

int TCustomEdit::SelLength() const {
    return static_cast<int>(LineEdit()->selectedText().size());
}

std::string TCustomEdit::SelText() const {
    return FromQString(LineEdit()->selectedText());
}

void TCustomEdit::SetSelStart(int start) {
    LineEdit()->setCursorPosition(start);
}

void TCustomEdit::SetSelLength(int length) {
    QLineEdit* edit = LineEdit();
    const int start = SelStart();
    edit->setSelection(start, length);
}

bool TCustomEdit::FilterEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            if (resending_) return false;
            auto* keyEvent = static_cast<QKeyEvent*>(event);
            if (OnKeyDown) {
                TKey key = KeyFromQt(keyEvent->key());
                if (key != 0) {
                    Dispatch([&] {
                        OnKeyDown(this, key, ShiftFromQt(static_cast<int>(keyEvent->modifiers())));
                    });
                    if (key == 0) return true;
                }
            }
            const QString typed = keyEvent->text();
            if (OnKeyPress && typed.size() == 1) {
                const std::string asCp1252 = FromQString(typed);
                char key = asCp1252.empty() ? '\0' : asCp1252[0];
                const char before = key;
                Dispatch([&] { OnKeyPress(this, key); });
                if (key == '\0') return true;
                if (key != before) {
                    // The handler changed the character: the edit gets the new one instead.
                    const QString replaced = ToQString(std::string(1, key));
                    QKeyEvent changed(QEvent::KeyPress, replaced.at(0).toUpper().unicode(),
                                      keyEvent->modifiers(), replaced);
                    resending_ = true;
                    QCoreApplication::sendEvent(LineEdit(), &changed);
                    resending_ = false;
                    return true;
                }
            }
            return false;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Fire(OnClick);
            return false;
        case QEvent::FocusIn:
            Entered();
            Fire(OnEnter);
            return false;
        case QEvent::FocusOut:
            Fire(OnExit);
            return false;
        default:
            return false;
    }
}

// ---- TMaskEdit ------------------------------------------------------------------------------

void TMaskEdit::SetEditMask(const std::string& mask) {
    editMask_ = mask;
    UpdateInputRules();
}

void TMaskEdit::UpdateInputRules() {
    const TEditMaskInfo info = ParseEditMask(editMask_);
    QLineEdit* edit = LineEdit();
    if (info.qtMask.isEmpty()) {
        edit->setInputMask(QString());
        TCustomEdit::UpdateInputRules();
        return;
    }
    const QValidator* old = edit->validator();
    edit->setValidator(nullptr);
    delete old;
    QString qtMask = info.qtMask;
    if (CharCase() == ecUpperCase) qtMask.prepend('>');
    if (CharCase() == ecLowerCase) qtMask.prepend('<');
    edit->setInputMask(qtMask);
}

void TMaskEdit::Entered() {
    if (!LineEdit()->inputMask().isEmpty()) LineEdit()->selectAll();
}

std::string TMaskEdit::EditText() const {
    return FromQString(LineEdit()->displayText());
}

std::string TMaskEdit::GetText() const {
    const TEditMaskInfo info = ParseEditMask(editMask_);
    if (info.qtMask.isEmpty()) return TCustomEdit::GetText();
    return MaskedText(info, EditText());
}

// ---- TComboBox ------------------------------------------------------------------------------

class TComboBox::ItemList : public TStrings {
  public:
    explicit ItemList(TComboBox* owner) : owner_(owner) {}
    int Count() const override { return Box()->count(); }
    std::string Strings(int index) const override {
        CheckIndex(index, Count());
        return FromQString(Box()->itemText(index));
    }
    void SetStrings(int index, const std::string& line) override {
        CheckIndex(index, Count());
        Box()->setItemText(index, ToQString(line));
    }
    void Insert(int index, const std::string& line) override {
        CheckIndex(index, Count() + 1);
        Box()->insertItem(index, ToQString(line));
    }
    void Delete(int index) override {
        CheckIndex(index, Count());
        Box()->removeItem(index);
    }
    void Clear() override {
        const QString text = Box()->currentText();
        Box()->clear();
        if (Box()->isEditable()) Box()->setEditText(text);
    }

  private:
    QComboBox* Box() const { return owner_->ComboBox(); }
    TComboBox* owner_;
};

TComboBox::TComboBox(rtl::TComponent* owner, TWinControl* parent)
    : TWinControl(owner, parent), items_(std::make_unique<ItemList>(this)) {
    auto* box = new QComboBox(ParentWidget());
    Attach(box);
    box->resize(145, 21);
    box->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(box, &QComboBox::activated, Hooks(), [this] { Fire(OnChange); });
    SetStyle(csDropDown);
}

TComboBox::~TComboBox() = default;

QComboBox* TComboBox::ComboBox() const {
    return static_cast<QComboBox*>(Widget());
}

TStrings& TComboBox::Items() {
    return *items_;
}

void TComboBox::SetStyle(TComboBoxStyle style) {
    style_ = style;
    QComboBox* box = ComboBox();
    box->setEditable(style == csDropDown);
    if (QLineEdit* edit = box->lineEdit()) {
        QObject::disconnect(edit, &QLineEdit::textEdited, Hooks(), nullptr);
        QObject::connect(edit, &QLineEdit::textEdited, Hooks(), [this] { Fire(OnChange); });
    }
}

int TComboBox::ItemIndex() const {
    QComboBox* box = ComboBox();
    if (!box->isEditable()) return box->currentIndex();
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && box->itemText(box->currentIndex()) == text)
        return box->currentIndex();
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TComboBox::SetItemIndex(int index) {
    QComboBox* box = ComboBox();
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (index < 0 && box->isEditable()) box->setEditText(QString());
}

std::string TComboBox::Text() const {
    return FromQString(ComboBox()->currentText());
}

void TComboBox::SetText(const std::string& text) {
    QComboBox* box = ComboBox();
    if (box->isEditable()) {
        box->setEditText(ToQString(text));
    } else {
        box->setCurrentIndex(
            box->findText(ToQString(text), Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
}

}  // namespace ui
