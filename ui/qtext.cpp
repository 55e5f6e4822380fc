#include "ui/qtext.h"

#include "rtl/codepage.h"

namespace ui {

QString ToQString(const std::string& cp1252) {
    return QString::fromStdString(rtl::Cp1252ToUtf8(cp1252));
}

std::string FromQString(const QString& text) {
    const std::string utf8 = text.toStdString();
    if (auto whole = rtl::Utf8ToCp1252(utf8)) return *whole;
    // Some character has no Windows-1252 form: convert character by character.
    std::string result;
    const std::u32string codePoints = text.toStdU32String();
    for (char32_t c : codePoints) {
        const std::string one = QString::fromUcs4(&c, 1).toStdString();
        auto converted = rtl::Utf8ToCp1252(one);
        result += converted ? *converted : std::string("?");
    }
    return result;
}

}  // namespace ui
