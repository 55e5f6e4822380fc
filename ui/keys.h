// Key codes as the windows' handlers see them: the platform's virtual-key numbers (Esc 27,
// Page Up 33, Page Down 34), letters and digits as their upper-case ASCII codes.
#ifndef VELDA_UI_KEYS_H
#define VELDA_UI_KEYS_H

#include <cstdint>

namespace ui {

using TKey = std::uint16_t;  // 0: no key (a handler sets it to 0 to consume the key)

inline constexpr TKey VK_BACK = 8;
inline constexpr TKey VK_TAB = 9;
inline constexpr TKey VK_RETURN = 13;
inline constexpr TKey VK_SHIFT = 16;
inline constexpr TKey VK_CONTROL = 17;
inline constexpr TKey VK_MENU = 18;
inline constexpr TKey VK_ESCAPE = 27;
inline constexpr TKey VK_SPACE = 32;
inline constexpr TKey VK_PRIOR = 33;
inline constexpr TKey VK_NEXT = 34;
inline constexpr TKey VK_END = 35;
inline constexpr TKey VK_HOME = 36;
inline constexpr TKey VK_LEFT = 37;
inline constexpr TKey VK_UP = 38;
inline constexpr TKey VK_RIGHT = 39;
inline constexpr TKey VK_DOWN = 40;
inline constexpr TKey VK_INSERT = 45;
inline constexpr TKey VK_DELETE = 46;
inline constexpr TKey VK_F1 = 112;  // VK_F1 + n - 1 is Fn, up to F12
inline constexpr TKey VK_F2 = 113;

// Modifier keys held with a key.
using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;

// Qt::Key to key code (0 for a key without one) and back (0 for none).
TKey KeyFromQt(int qtKey);
int KeyToQt(TKey key);
// Qt::KeyboardModifiers (as int) to shift state and back.
TShiftState ShiftFromQt(int qtModifiers);
int ShiftToQt(TShiftState shift);

}  // namespace ui

#endif
