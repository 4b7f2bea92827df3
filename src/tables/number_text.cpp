#include "tables/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace epd::tables {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the shape sign? digits [sep digits] [(e|E) sign? digits] over the whole text and copies
// it with '.' as decimal point into `out` (size at least text.size() + 1).
bool NormaliseNumber(std::string_view t, char sep, char* out, std::size_t* out_size) {
  std::size_t i = 0, o = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') out[o++] = '-';
    ++i;
  }
  std::size_t digits = 0;
  while (i < t.size() && IsDigit(t[i])) out[o++] = t[i++], ++digits;
  if (i < t.size() && t[i] == sep) {
    out[o++] = '.';
    ++i;
    while (i < t.size() && IsDigit(t[i])) out[o++] = t[i++], ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    out[o++] = 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) out[o++] = t[i++];
    std::size_t exp_digits = 0;
    while (i < t.size() && IsDigit(t[i])) out[o++] = t[i++], ++exp_digits;
    if (exp_digits == 0) return false;
  }
  *out_size = o;
  return i == t.size();
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

bool ToDouble(const char* p, std::size_t n, double* value) {
  double v = 0;
  auto [ptr, ec] = std::from_chars(p, p + n, v);
  if (ec != std::errc() || ptr != p + n || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

}  // namespace

std::string FormatNumber(double value, char decimal_separator) {
  if (value == 0) value = 0;  // no "-0"
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string out;
  const char* e = std::strchr(buf, 'e');
  const std::size_t mantissa = e ? static_cast<std::size_t>(e - buf) : std::strlen(buf);
  for (std::size_t i = 0; i < mantissa; ++i) out += buf[i] == '.' ? decimal_separator : buf[i];
  if (e) {
    int exponent = std::atoi(e + 1);
    out += 'E';
    out += std::to_string(exponent);
  }
  return out;
}

bool ParseUserNumber(std::string_view text, char decimal_separator, double* value) {
  const std::string_view t = Trim(text);
  if (t.empty() || t.size() > 64) return false;
  char buf[80];
  std::size_t n = 0;
  if (!NormaliseNumber(t, decimal_separator, buf, &n)) return false;
  return ToDouble(buf, n, value);
}

bool ParseUserInteger(std::string_view text, std::int64_t* value) {
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  if (t.empty() || t.front() == '+') return false;
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size()) return false;
  *value = v;
  return true;
}

bool ParseStoredNumber(const char* bytes, std::size_t size, double* value) {
  std::size_t b = 0, e = size;
  while (b < e && (bytes[b] == ' ' || bytes[b] == '\0')) ++b;
  while (e > b && (bytes[e - 1] == ' ' || bytes[e - 1] == '\0')) --e;
  if (b == e) return false;
  // The common case, a plain integer, without leaving this loop.
  {
    std::size_t i = b;
    bool negative = false;
    if (bytes[i] == '-' || bytes[i] == '+') negative = bytes[i++] == '-';
    std::int64_t v = 0;
    std::size_t digits = 0;
    while (i < e && IsDigit(bytes[i]) && digits < 18) v = v * 10 + (bytes[i++] - '0'), ++digits;
    if (i == e && digits > 0) {
      *value = static_cast<double>(negative ? -v : v);
      return true;
    }
  }
  if (e - b > 64) return false;
  char buf[80];
  std::size_t n = 0;
  for (std::size_t i = b; i < e; ++i) {
    const char c = bytes[i];
    if (c == '\0') continue;
    buf[n++] = c == ',' ? '.' : c;
  }
  std::size_t start = 0;
  if (n > 0 && buf[0] == '+') start = 1;
  // "1." and "1.E+3" are numbers; from_chars wants a digit after the point, so drop a bare one.
  for (std::size_t i = start; i + 1 <= n; ++i) {
    if (buf[i] == '.' && (i + 1 == n || buf[i + 1] == 'e' || buf[i + 1] == 'E') && i > start && IsDigit(buf[i - 1])) {
      std::memmove(buf + i, buf + i + 1, n - i - 1);
      --n;
      break;
    }
  }
  return ToDouble(buf + start, n - start, value);
}

bool FormatStoredNumber(double value, std::uint32_t width, std::uint32_t decimals, char* out) {
  if (!std::isfinite(value) || width == 0) return false;
  if (decimals >= width) decimals = width > 1 ? width - 2 : 0;
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), value);
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return false;
  if (std::strcmp(buf, "-0") == 0 || (buf[0] == '-' && std::strspn(buf + 1, "0.") == std::strlen(buf + 1))) {
    std::memmove(buf, buf + 1, static_cast<std::size_t>(n));  // "-0.00" is "0.00"
    --n;
  }
  if (static_cast<std::uint32_t>(n) > width) return false;
  std::memset(out, ' ', width);
  std::memcpy(out + (width - static_cast<std::uint32_t>(n)), buf, static_cast<std::size_t>(n));
  return true;
}

}  // namespace epd::tables
