#include "ui/keys.h"

#include <Qt>
#include <array>
#include <utility>

namespace ui {

namespace {

constexpr std::array<std::pair<int, TKey>, 20> kNamedKeys{{
    {Qt::Key_Backspace, VK_BACK},  {Qt::Key_Tab, VK_TAB},       {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},   {Qt::Key_Enter, VK_RETURN},  {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL}, {Qt::Key_Alt, VK_MENU},      {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},     {Qt::Key_PageUp, VK_PRIOR},  {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},         {Qt::Key_Home, VK_HOME},     {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},           {Qt::Key_Right, VK_RIGHT},   {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Insert, VK_INSERT},   {Qt::Key_Delete, VK_DELETE},
}};

}  // namespace

TKey KeyFromQt(int qtKey) {
    for (const auto& [qt, vk] : kNamedKeys)
        if (qt == qtKey) return vk;
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<TKey>(qtKey);  // Qt numbers these as their ASCII codes
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return static_cast<TKey>(VK_F1 + (qtKey - Qt::Key_F1));
    return 0;
}

int KeyToQt(TKey key) {
    for (const auto& [qt, vk] : kNamedKeys)
        if (vk == key) return qt;
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return key;
    if (key >= VK_F1 && key < VK_F1 + 12) return Qt::Key_F1 + (key - VK_F1);
    return 0;
}

TShiftState ShiftFromQt(int qtModifiers) {
    TShiftState shift = 0;
    if (qtModifiers & Qt::ShiftModifier) shift |= ssShift;
    if (qtModifiers & Qt::AltModifier) shift |= ssAlt;
    if (qtModifiers & Qt::ControlModifier) shift |= ssCtrl;
    return shift;
}

int ShiftToQt(TShiftState shift) {
    int modifiers = Qt::NoModifier;
    if (shift & ssShift) modifiers |= Qt::ShiftModifier;
    if (shift & ssAlt) modifiers |= Qt::AltModifier;
    if (shift & ssCtrl) modifiers |= Qt::ControlModifier;
    return modifiers;
}

}  // namespace ui
