#pragma once

#include <string>
#include <string_view>

// The engine's Russian error texts. Every message names the table file and, where there is one,
// the column and the value involved.
namespace epd::tables {

// Joins texts: Cat("В таблице "_cp, path, " нет поля "_cp, name).
template <typename... Parts>
std::string Cat(const Parts&... parts) {
  std::string out;
  (out.append(std::string_view(parts)), ...);
  return out;
}

[[noreturn]] void ThrowDamaged(std::string_view path, std::string_view what);
[[noreturn]] void ThrowNoColumn(std::string_view path, std::string_view column);
[[noreturn]] void ThrowBadValue(std::string_view path, std::string_view column, std::string_view value,
                                std::string_view why);
[[noreturn]] void ThrowCannotRead(std::string_view path, std::string_view column, std::string_view value,
                                  std::string_view as_what);
[[noreturn]] void ThrowTableError(std::string_view path, std::string_view what);

}  // namespace epd::tables
