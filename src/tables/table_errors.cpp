#include "tables/table_errors.h"

#include "platform/error.h"
#include "platform/text.h"

namespace epd::tables {

void ThrowDamaged(std::string_view path, std::string_view what) {
  std::string m;
  m += "Файл таблицы "_cp;
  m += path;
  m += " повреждён: "_cp;
  m += what;
  throw Error(m);
}

void ThrowNoColumn(std::string_view path, std::string_view column) {
  std::string m;
  m += "В таблице "_cp;
  m += path;
  m += " нет поля "_cp;
  m += column;
  throw Error(m);
}

void ThrowBadValue(std::string_view path, std::string_view column, std::string_view value, std::string_view why) {
  std::string m;
  m += "Значение \""_cp;
  m += value;
  m += "\" не подходит для поля "_cp;
  m += column;
  m += " таблицы "_cp;
  m += path;
  if (!why.empty()) {
    m += ": ";
    m += why;
  }
  throw Error(m);
}

void ThrowCannotRead(std::string_view path, std::string_view column, std::string_view value, std::string_view as_what) {
  std::string m;
  m += "Значение \""_cp;
  m += value;
  m += "\" поля "_cp;
  m += column;
  m += " таблицы "_cp;
  m += path;
  m += " нельзя прочитать как "_cp;
  m += as_what;
  throw Error(m);
}

void ThrowTableError(std::string_view path, std::string_view what) {
  std::string m;
  m += "Таблица "_cp;
  m += path;
  m += ": ";
  m += what;
  throw Error(m);
}

}  // namespace epd::tables
