#pragma once

#include <string>
#include <string_view>

// The search text of the supplier list dialog, built from key presses. Key codes are the
// platform's virtual-key codes; the shift state plays no part. A pure function, so that every
// key, layout and text can be tried.
namespace epd::suppliers {

inline constexpr int kVkBack = 8;
inline constexpr int kVkSpace = 32;
inline constexpr int kVkDelete = 46;
inline constexpr std::string_view kRussianLayout = "00000419";

// Backspace, the space bar, the main keyboard's digits and the codes 61 to 299: each runs the
// search again, whether or not it changes the text.
bool IsSearchKey(int key);

// The search text after the key: Backspace removes the last character, the space bar, the
// digits, "/" of the keypad and the minus key append their character; the letter keys and
// ; , . ` [ ] ' append the capital Cyrillic letter they carry on the Russian keyboard when the
// layout (eight hexadecimal digits, any letter case) is "00000419", otherwise the Latin capital
// or the sign itself, the apostrophe key a double quote and ` nothing. Other codes change
// nothing. The result never holds an apostrophe, "%" or "_".
std::string NextSearchText(int key, std::string_view layout, std::string_view text);

}  // namespace epd::suppliers
