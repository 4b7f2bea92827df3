#pragma once

#include <string>
#include <string_view>

// Conversions between the code pages the program meets. All of the program's own text is
// Windows-1251; UTF-8 is what POSIX file names and terminals take, UTF-16 what the wide Win32
// APIs take, and 866 is the DOS coding of exported text.
//
// 1251 -> 866 uses one fixed table on every platform, never the system's ANSI/OEM pair (on a
// Windows whose ANSI code page is not 1251 that pair would turn every Cyrillic letter into
// garbage). Characters that 866 lacks get a best fit: typographic double quotes and guillemets
// become '"', single quotes '\'', dashes and the soft hyphen '-', the ellipsis '.', the bullet
// U+2219, Ukrainian/Belarusian І і Ґ ґ become I i Г г, Serbian Ј ј Ѕ ѕ become J j S s, Ѓ ѓ Ќ ќ
// become Г г К к, © ® ± µ ™ € ‰ † ‡ ¦ ¬ become c r + u T E % + + | -, everything else '?'.
namespace epd::platform {

std::string Cp1251ToUtf8(std::string_view text);
// Characters without a 1251 form become '?'; malformed UTF-8 bytes are taken as 1251 bytes.
std::string Utf8ToCp1251(std::string_view text);

std::u16string Cp1251ToUtf16(std::string_view text);
std::string Utf16ToCp1251(std::u16string_view text);

std::string Cp1251ToCp866(std::string_view text);
void Cp1251ToCp866InPlace(char* data, std::size_t size);
std::string Cp866ToCp1251(std::string_view text);
std::string Cp866ToUtf8(std::string_view text);

// Letter case of code page 1251: Latin, Russian (Ё included) and the other Cyrillic letters.
char UpperCp1251(char c);
char LowerCp1251(char c);
std::string UpperCp1251(std::string_view text);
void UpperCp1251InPlace(char* text, std::size_t size);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace epd::platform
