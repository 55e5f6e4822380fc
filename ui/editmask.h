// Edit masks "<mask>;<save literals>;<blank>" (see TMaskEdit) in Qt's input-mask terms.
#ifndef VELDA_UI_EDITMASK_H
#define VELDA_UI_EDITMASK_H

#include <QString>
#include <string>
#include <vector>

namespace ui {

struct TEditMaskInfo {
    QString qtMask;              // for QLineEdit::setInputMask; empty for no mask
    std::vector<char> literals;  // per position: the literal, or '\0' for a position to type
    bool saveLiterals = true;
    char blank = '_';
};

TEditMaskInfo ParseEditMask(const std::string& editMask);
// The Text of a masked edit from its shown text: blank positions as spaces, literals kept
// when the mask saves them.
std::string MaskedText(const TEditMaskInfo& mask, const std::string& shown);

}  // namespace ui

#endif
