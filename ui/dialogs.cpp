#include "ui/dialogs.h"

#include <QFileDialog>

#include "ui/application.h"
#include "ui/forms.h"
#include "ui/qtext.h"

namespace ui {

namespace {

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// "label|patterns|..." as Qt name filters "label (patterns)".
QStringList NameFilters(const std::string& filter) {
    QStringList parts = ToQString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters.push_back(parts[i] + " (" + patterns + ")");
    }
    return filters;
}

}  // namespace

bool TOpenDialog::Execute() {
    TApplication& app = Application();
    QWidget* parent = nullptr;
    if (TForm* modal = app.ActiveModalForm()) {
        parent = modal->Widget();
    } else if (TForm* main = app.MainForm(); main && main->Visible()) {
        parent = main->Widget();
    }
    QFileDialog box(parent, ToQString(title_), ToQString(Slashes(initialDir_)));
    box.setOption(QFileDialog::DontUseNativeDialog, true);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(fileMustExist_ ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty()) box.setNameFilters(filters);
    if (!defaultExt_.empty()) box.setDefaultSuffix(ToQString(defaultExt_));
    if (!fileName_.empty()) box.selectFile(ToQString(Slashes(fileName_)));
    if (!app.ExecuteFileDialog(*this, box)) return false;
    const QStringList chosen = box.selectedFiles();
    if (chosen.isEmpty()) return false;
    fileName_ = FromQString(chosen.front());
    return true;
}

}  // namespace ui
