#include "ui/extctrls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>

#include "rtl/stringlist.h"
#include "ui/qtext.h"
#include "ui/scaling.h"

namespace ui {

// ---- TPanel ---------------------------------------------------------------------------------

TPanel::TPanel(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    auto* label = new QLabel(ParentWidget());
    label->setTextFormat(Qt::PlainText);
    Attach(label);
    WatchResize();
    label->resize(185, 41);
    SetBevelOuter(bvRaised);
    SetAlignment(taCenter);
}

QLabel* TPanel::Label() const {
    return static_cast<QLabel*>(Widget());
}

void TPanel::SetCaption(const std::string& caption) {
    caption_ = caption;
    Label()->setText(ToQString(caption));
}

void TPanel::SetAlignment(TAlignment alignment) {
    alignment_ = alignment;
    Qt::Alignment horizontal = alignment == taRightJustify ? Qt::AlignRight
                               : alignment == taCenter     ? Qt::AlignHCenter
                                                           : Qt::AlignLeft;
    Label()->setAlignment(horizontal | Qt::AlignVCenter);
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
    switch (bevel) {
        case bvNone:
            Label()->setFrameStyle(QFrame::NoFrame);
            break;
        case bvLowered:
            Label()->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
        case bvRaised:
            Label()->setFrameStyle(QFrame::Panel | QFrame::Raised);
            break;
    }
}

// ---- TImage ---------------------------------------------------------------------------------

TImage::TImage(rtl::TComponent* owner, TWinControl* parent) : TControl(owner, parent) {
    auto* label = new QLabel(ParentWidget());
    Attach(label);
    label->resize(105, 105);
}

void TImage::SetPicture(const TPicture& picture) {
    picture_ = picture;
    static_cast<QLabel*>(Widget())->setPixmap(picture.Pixmap());
}

void TImage::SetStretch(bool stretch) {
    static_cast<QLabel*>(Widget())->setScaledContents(stretch);
}

// ---- TSpeedButton ---------------------------------------------------------------------------

TSpeedButton::TSpeedButton(rtl::TComponent* owner, TWinControl* parent) : TControl(owner, parent) {
    auto* button = new QToolButton(ParentWidget());
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Attach(button);
    button->resize(23, 22);
    QObject::connect(button, &QToolButton::clicked, Hooks(), [this] { Fire(OnClick); });
}

QToolButton* TSpeedButton::Button() const {
    return static_cast<QToolButton*>(Widget());
}

std::string TSpeedButton::Caption() const {
    return FromQString(Button()->text());
}

void TSpeedButton::SetCaption(const std::string& caption) {
    Button()->setText(ToQString(caption));
}

void TSpeedButton::SetGlyph(const TPicture& picture) {
    Button()->setIcon(QIcon(picture.Pixmap()));
    if (!picture.Empty()) Button()->setIconSize(picture.Pixmap().size());
}

void TSpeedButton::SetLayout(TButtonLayout layout) {
    Button()->setToolButtonStyle(layout == blGlyphTop ? Qt::ToolButtonTextUnderIcon
                                                      : Qt::ToolButtonTextBesideIcon);
}

void TSpeedButton::SetFlat(bool flat) {
    Button()->setAutoRaise(flat);
}

void TSpeedButton::Click() {
    Button()->click();
}

// ---- TSpinButton ----------------------------------------------------------------------------

class SpinWidget : public QWidget {
  public:
    SpinWidget(QWidget* parent, TSpinButton* spin) : QWidget(parent), spin_(spin) {
        setFocusPolicy(Qt::StrongFocus);
        for (auto arrow : {Qt::UpArrow, Qt::DownArrow}) {
            auto* button = new QToolButton(this);
            button->setArrowType(arrow);
            button->setFocusPolicy(Qt::NoFocus);
            button->setAutoRepeat(true);
            (arrow == Qt::UpArrow ? spin->up_ : spin->down_) = button;
        }
    }

  protected:
    void resizeEvent(QResizeEvent*) override {
        const int half = height() / 2;
        spin_->up_->setGeometry(0, 0, width(), half);
        spin_->down_->setGeometry(0, half, width(), height() - half);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Up) {
            spin_->up_->click();
        } else if (event->key() == Qt::Key_Down) {
            spin_->down_->click();
        } else {
            QWidget::keyPressEvent(event);
        }
    }

  private:
    TSpinButton* spin_;
};

TSpinButton::TSpinButton(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    auto* widget = new SpinWidget(ParentWidget(), this);
    Attach(widget);
    widget->resize(20, 25);
    QObject::connect(up_.data(), &QToolButton::clicked, Hooks(), [this] { Fire(OnUpClick); });
    QObject::connect(down_.data(), &QToolButton::clicked, Hooks(), [this] { Fire(OnDownClick); });
}

QAbstractButton* TSpinButton::UpButton() const {
    return up_.data();
}
QAbstractButton* TSpinButton::DownButton() const {
    return down_.data();
}

// ---- TStatusBar -----------------------------------------------------------------------------

class StatusBarWidget : public QFrame {
  public:
    StatusBarWidget(QWidget* parent, TStatusBar* bar) : QFrame(parent), bar_(bar) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QFrame::resizeEvent(event);
        bar_->Arrange();
    }

  private:
    TStatusBar* bar_;
};

void TStatusPanel::SetText(const std::string& text) {
    text_ = text;
    label_->setText(ToQString(text));
}

void TStatusPanel::SetWidth(int width) {
    width_ = width;
    bar_->Arrange();
}

TStatusBar::TStatusBar(rtl::TComponent* owner, TWinControl* parent) : TWinControl(owner, parent) {
    auto* widget = new StatusBarWidget(ParentWidget(), this);
    Attach(widget);
    widget->resize(widget->width(), ScaleY(19));
    SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

TStatusPanel& TStatusBar::AddPanel(int width, const std::string& text) {
    auto* label = new QLabel(Widget());
    label->setTextFormat(Qt::PlainText);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->show();
    panels_.push_back(std::unique_ptr<TStatusPanel>(new TStatusPanel(this, label)));
    TStatusPanel& panel = *panels_.back();
    panel.width_ = width;
    panel.SetText(text);
    Arrange();
    return panel;
}

TStatusPanel& TStatusBar::Panels(int index) {
    if (index < 0 || index >= PanelCount())
        throw rtl::EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    return *panels_[static_cast<size_t>(index)];
}

void TStatusBar::Arrange() {
    QWidget* w = Widget();
    if (!w) return;
    // Panel widths are design pixels; the last panel takes the rest of the bar.
    int x = 0;
    for (size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        const int right = last ? std::max(ScaleX(x + panels_[i]->width_), w->width())
                               : ScaleX(x + panels_[i]->width_);
        panels_[i]->label_->setGeometry(ScaleX(x), 0, right - ScaleX(x), w->height());
        x += panels_[i]->width_;
    }
}

// ---- TRichEdit ------------------------------------------------------------------------------

class TRichEdit::LineList : public TStrings {
  public:
    explicit LineList(TRichEdit* owner) : owner_(owner) {}
    int Count() const override { return static_cast<int>(lines_.size()); }
    std::string Strings(int index) const override {
        CheckIndex(index, Count());
        return lines_[static_cast<size_t>(index)];
    }
    void SetStrings(int index, const std::string& line) override {
        CheckIndex(index, Count());
        lines_[static_cast<size_t>(index)] = line;
        Show();
    }
    void Insert(int index, const std::string& line) override {
        CheckIndex(index, Count() + 1);
        lines_.insert(lines_.begin() + index, line);
        Show();
    }
    void Delete(int index) override {
        CheckIndex(index, Count());
        lines_.erase(lines_.begin() + index);
        Show();
    }
    void Clear() override {
        lines_.clear();
        Show();
    }
    // The user typed (when the box is not read-only): the lines follow the box.
    void TakeFromWidget() {
        if (showing_) return;
        lines_.clear();
        const QStringList lines = owner_->TextEdit()->toPlainText().split('\n');
        for (const QString& line : lines) lines_.push_back(FromQString(line));
    }

  private:
    void Show() {
        QStringList shown;
        for (const std::string& line : lines_) shown.push_back(ToQString(line));
        showing_ = true;
        owner_->TextEdit()->setPlainText(shown.join('\n'));
        showing_ = false;
    }
    TRichEdit* owner_;
    std::vector<std::string> lines_;
    bool showing_ = false;
};

TRichEdit::TRichEdit(rtl::TComponent* owner, TWinControl* parent)
    : TWinControl(owner, parent), lines_(std::make_unique<LineList>(this)) {
    auto* edit = new QPlainTextEdit(ParentWidget());
    Attach(edit);
    edit->resize(185, 89);
    edit->setReadOnly(true);
    QObject::connect(edit, &QPlainTextEdit::textChanged, Hooks(),
                     [this] { lines_->TakeFromWidget(); });
}

TRichEdit::~TRichEdit() = default;

QPlainTextEdit* TRichEdit::TextEdit() const {
    return static_cast<QPlainTextEdit*>(Widget());
}

TStrings& TRichEdit::Lines() {
    return *lines_;
}

bool TRichEdit::ReadOnly() const {
    return TextEdit()->isReadOnly();
}

void TRichEdit::SetReadOnly(bool readOnly) {
    TextEdit()->setReadOnly(readOnly);
}

void TRichEdit::SetWordWrap(bool wrap) {
    TextEdit()->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TRichEdit::SetScrollBars(TScrollStyle scrollBars) {
    const bool horizontal = scrollBars == ssHorizontal || scrollBars == ssBoth;
    const bool vertical = scrollBars == ssVertical || scrollBars == ssBoth;
    TextEdit()->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded
                                                        : Qt::ScrollBarAlwaysOff);
    TextEdit()->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
}

}  // namespace ui
