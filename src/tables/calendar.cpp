#include "tables/calendar.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <ctime>

namespace epd::tables {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The order of day (d), month (M) and year (y) in a picture, e.g. "dMy".
std::string FieldOrder(std::string_view picture) {
  std::string order;
  bool quoted = false;
  for (char c : picture) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    if ((c == 'd' || c == 'M' || c == 'y') && order.find(c) == std::string::npos) order += c;
  }
  if (order.size() != 3) order = "dMy";
  return order;
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

namespace {

// Appends `v` as printf's "%0<width>d" does (the sign counts in the width).
void AppendPadded(std::string& out, int v, int width) {
  char digits[16];
  const auto magnitude = v < 0 ? -static_cast<long long>(v) : static_cast<long long>(v);
  const int len = static_cast<int>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  if (v < 0) out += '-';
  for (int k = (v < 0 ? 1 : 0) + len; k < width; ++k) out += '0';
  out.append(digits, static_cast<std::size_t>(len));
}

}  // namespace

std::string FormatDate(std::int64_t days, std::string_view picture) {
  int y, m, d;
  CivilFromDays(days, &y, &m, &d);
  std::string out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    if (c == '\'') {
      std::size_t end = picture.find('\'', i + 1);
      if (end == std::string_view::npos) end = picture.size();
      out.append(picture.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (c == 'd') {
      AppendPadded(out, d, run >= 2 ? 2 : 0);
    } else if (c == 'M') {
      AppendPadded(out, m, run >= 2 ? 2 : 0);
    } else if (c == 'y') {
      AppendPadded(out, run <= 2 ? y % 100 : y, run == 2 ? 2 : run <= 2 ? 0 : 4);
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

std::string FormatTime(std::int64_t ms_of_day) {
  const std::int64_t s = ms_of_day / 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60));
  return buf;
}

bool ParseDate(std::string_view text, std::string_view picture, std::int64_t* days) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::size_t end = text.size();
  while (end > i && text[end - 1] == ' ') --end;
  int parts[3];
  int digits[3];
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      // One separator: any character that is no digit and no blank.
      if (i >= end || IsDigit(text[i]) || text[i] == ' ') return false;
      ++i;
    }
    int value = 0, n = 0;
    while (i < end && IsDigit(text[i]) && n < 4) value = value * 10 + (text[i++] - '0'), ++n;
    if (n == 0) return false;
    parts[k] = value;
    digits[k] = n;
  }
  if (i != end) return false;
  const std::string order = FieldOrder(picture);
  int y = 0, m = 0, d = 0, ydigits = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'd') d = parts[k];
    if (order[k] == 'M') m = parts[k];
    if (order[k] == 'y') y = parts[k], ydigits = digits[k];
  }
  if (ydigits <= 2) {
    int this_year, mm, dd;
    CivilFromDays(TodayDays(), &this_year, &mm, &dd);
    const int low = this_year - 50;
    y += low - low % 100;
    if (y <= low) y += 100;
  }
  if (!IsValidDate(y, m, d)) return false;
  *days = DaysFromCivil(y, m, d);
  return true;
}

bool DateTextRoundTrips(std::string_view picture) {
  std::string seen;
  std::size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= picture.size()) return false;
      const char sep = picture[i++];
      const bool punctuation =
          sep > ' ' && sep < 0x7F && !IsDigit(sep) && !std::isalpha(static_cast<unsigned char>(sep));
      if (!punctuation || sep == '\'') return false;
    }
    if (i >= picture.size()) return false;
    const char c = picture[i];
    std::size_t run = 0;
    while (i < picture.size() && picture[i] == c) ++i, ++run;
    if (seen.find(c) != std::string::npos) return false;
    if (!((c == 'd' || c == 'M') && run <= 2) && !(c == 'y' && run == 4)) return false;
    seen += c;
  }
  return i == picture.size();
}

bool ParseDateTime(std::string_view text, std::string_view picture, std::int64_t* days, std::int64_t* ms_of_day) {
  std::size_t b = 0;
  while (b < text.size() && text[b] == ' ') ++b;
  const std::size_t blank = text.find(' ', b);
  *ms_of_day = 0;
  if (blank == std::string_view::npos) return ParseDate(text, picture, days);
  if (!ParseDate(text.substr(0, blank), picture, days)) return false;
  std::string_view t = text.substr(blank);
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  int values[3] = {0, 0, 0};
  int count = 0;
  std::size_t i = 0;
  while (count < 3) {
    int v = 0, n = 0;
    while (i < t.size() && IsDigit(t[i]) && n < 2) v = v * 10 + (t[i++] - '0'), ++n;
    if (n == 0) return false;
    values[count++] = v;
    if (i == t.size()) break;
    if (t[i] != ':') return false;
    ++i;
  }
  if (i != t.size() || count < 2 || values[0] > 23 || values[1] > 59 || values[2] > 59) return false;
  *ms_of_day = (values[0] * 3600 + values[1] * 60 + values[2]) * 1000LL;
  return true;
}

std::int64_t TodayDays() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

}  // namespace epd::tables
