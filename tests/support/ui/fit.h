// Whether a window shows its texts whole: every label, button, group box title, drop-down item,
// text field, grid header and grid cell of the window and its children is measured in its own
// font against the room its widget gives it (as the style draws it).
#ifndef VELDA_TESTS_SUPPORT_UI_FIT_H
#define VELDA_TESTS_SUPPORT_UI_FIT_H

#include <string>
#include <vector>

class QWidget;

namespace ui {

class TForm;

namespace fit {

// One line per text that does not fit, e.g.
//   QComboBox comboFormatOutput: "Standard Format" needs 103 px, has 92
// Empty when everything fits. Hidden widgets, password fields and text boxes that wrap their
// lines are left out.
std::vector<std::string> TextsThatDoNotFit(const QWidget& window);
std::vector<std::string> TextsThatDoNotFit(const TForm& form);

}  // namespace fit
}  // namespace ui

#endif
