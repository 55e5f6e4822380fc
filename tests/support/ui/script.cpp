#include "tests/support/ui/script.h"

#include <QDialog>
#include <QFileDialog>
#include <algorithm>

#include "ui/forms.h"
#include "ui/qtext.h"

namespace ui {

void TScript::Message(int result) {
    Message([result](const TMessageRecord&) { return result; });
}

void TScript::Message(MessageAnswer answer) {
    steps_.push_back({std::move(answer), {}, {}});
}

void TScript::Modal(ModalDriver drive) {
    steps_.push_back({{}, std::move(drive), {}});
}

void TScript::FileDialog(FileDialogDriver drive) {
    steps_.push_back({{}, {}, std::move(drive)});
}

void TScript::ChooseFile(const std::string& fileName) {
    FileDialog([fileName](TOpenDialog&, QFileDialog& box) {
        box.selectFile(ToQString(fileName));
        static_cast<QDialog&>(box).accept();
    });
}

void TScript::CancelFileDialog() {
    FileDialog([](TOpenDialog&, QFileDialog& box) { static_cast<QDialog&>(box).reject(); });
}

void TScript::Clear() {
    steps_.clear();
    errors_.clear();
}

template <class Matches>
bool TScript::Take(Step& step, Matches matches) {
    if (steps_.empty() || !matches(steps_.front())) return false;
    step = std::move(steps_.front());
    steps_.pop_front();
    return true;
}

int TScript::AnswerMessage(const TMessageRecord& shown, const std::vector<int>& buttons) {
    // Not a button: the application takes the box's safest answer.
    constexpr int kNoAnswer = 0;
    Step step;
    if (!Take(step, [](const Step& s) { return static_cast<bool>(s.message); })) {
        NoteError("unexpected message box \"" + shown.caption + "\": " + shown.text);
        return kNoAnswer;
    }
    const int answer = step.message(shown);
    if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
        NoteError("answer " + std::to_string(answer) + " is not a button of \"" + shown.text +
                  "\"");
        return kNoAnswer;
    }
    return answer;
}

bool TScript::DriveModal(TForm& form) {
    Step step;
    if (!Take(step, [](const Step& s) { return static_cast<bool>(s.modal); })) {
        NoteError("unexpected modal form " + form.Name() + " \"" + form.Caption() + "\"");
        return false;
    }
    step.modal(form);
    return true;
}

void TScript::ModalLeftOpen(TForm& form) {
    NoteError("modal form " + form.Name() + " \"" + form.Caption() + "\" was left open");
}

bool TScript::ExecuteFileDialog(TOpenDialog& dialog, QFileDialog& box) {
    Step step;
    if (!Take(step, [](const Step& s) { return static_cast<bool>(s.file); })) {
        NoteError("unexpected file dialog \"" + FromQString(box.windowTitle()) + "\"");
        return false;
    }
    box.setResult(QDialog::Rejected);
    box.show();
    step.file(dialog, box);
    const bool accepted = box.result() == QDialog::Accepted;
    box.hide();
    return accepted;
}

TScript& Script() {
    static TScript script;
    return script;
}

}  // namespace ui
