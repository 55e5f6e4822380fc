#include "ui/editmask.h"

#include "rtl/sysutils.h"
#include "ui/qtext.h"

namespace ui {

namespace {

// Characters that Qt's masks give a meaning; as literals they need a backslash.
bool QtSpecial(char c) {
    static const std::string special = "AaNnXx90Dd#HhBb><!;[]{}\\";
    return special.find(c) != std::string::npos;
}

void AddLiteral(TEditMaskInfo& info, char c) {
    if (QtSpecial(c)) info.qtMask += '\\';
    info.qtMask += ToQString(std::string(1, c));
    info.literals.push_back(c);
}

void AddPosition(TEditMaskInfo& info, char qtChar) {
    info.qtMask += QChar(qtChar);
    info.literals.push_back('\0');
}

}  // namespace

TEditMaskInfo ParseEditMask(const std::string& editMask) {
    TEditMaskInfo info;
    // Split at the semicolons that are not escaped.
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < editMask.size(); ++i) {
        if (editMask[i] == '\\' && i + 1 < editMask.size()) {
            parts.back() += editMask.substr(i, 2);
            ++i;
        } else if (editMask[i] == ';') {
            parts.emplace_back();
        } else {
            parts.back() += editMask[i];
        }
    }
    const std::string& mask = parts[0];
    if (mask.empty()) return info;
    if (parts.size() > 1 && !parts[1].empty()) info.saveLiterals = parts[1][0] != '0';
    if (parts.size() > 2 && !parts[2].empty()) info.blank = parts[2][0];

    for (size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        switch (c) {
            case '0':
                AddPosition(info, '9');
                break;
            case '9':
                AddPosition(info, '0');
                break;
            case '#':
                AddPosition(info, '#');
                break;
            case 'L':
                AddPosition(info, 'A');
                break;
            case 'l':
                AddPosition(info, 'a');
                break;
            case 'A':
                AddPosition(info, 'N');
                break;
            case 'a':
                AddPosition(info, 'n');
                break;
            case 'C':
                AddPosition(info, 'X');
                break;
            case 'c':
                AddPosition(info, 'x');
                break;
            case '!':
                break;  // where optional blanks are kept does not matter here
            case '>':
                info.qtMask += '>';
                break;
            case '<':
                if (i + 1 < mask.size() && mask[i + 1] == '>') {
                    info.qtMask += '!';
                    ++i;
                } else {
                    info.qtMask += '<';
                }
                break;
            case '\\':
                if (i + 1 < mask.size()) AddLiteral(info, mask[++i]);
                break;
            case '_':
                AddLiteral(info, ' ');
                break;
            case ':':
                AddLiteral(info, rtl::FormatSettings().TimeSeparator);
                break;
            case '/':
                AddLiteral(info, rtl::FormatSettings().DateSeparator);
                break;
            default:
                AddLiteral(info, c);
                break;
        }
    }
    info.qtMask += ';';
    info.qtMask += ToQString(std::string(1, info.blank));
    return info;
}

std::string MaskedText(const TEditMaskInfo& mask, const std::string& shown) {
    if (mask.qtMask.isEmpty()) return shown;
    std::string text;
    for (size_t i = 0; i < mask.literals.size(); ++i) {
        const char c = i < shown.size() ? shown[i] : mask.blank;
        if (mask.literals[i] != '\0') {
            if (mask.saveLiterals) text += mask.literals[i];
        } else {
            text += c == mask.blank ? ' ' : c;
        }
    }
    return text;
}

}  // namespace ui
