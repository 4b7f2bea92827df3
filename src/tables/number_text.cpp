#include "tables/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tables/nearest_double.h"

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

// The double nearest to [-](digits [. digits] | . digits) [(e|E) [+-] digits], all of the text
// (what std::from_chars reads, less infinities and NaNs), in integer arithmetic: the library's
// own conversion rounds twice on the x87 unit for some inputs. False for any other text and for
// values beyond the range of doubles.
bool ToDouble(const char* p, std::size_t n, double* value) {
  const char* const e = p + n;
  const bool negative = p < e && *p == '-';
  if (negative) ++p;
  char digits[80];
  std::size_t count = 0, seen = 0;
  std::int64_t exponent = 0;
  bool point = false;
  for (; p < e && (IsDigit(*p) || (*p == '.' && !point)); ++p) {
    if (*p == '.') {
      point = true;
      continue;
    }
    ++seen;
    if (count == 0 && *p == '0') {  // leading zeros only move the point
      exponent -= point ? 1 : 0;
      continue;
    }
    if (count == sizeof digits) return false;
    digits[count++] = *p;
    exponent -= point ? 1 : 0;
  }
  if (seen == 0) return false;
  if (p < e && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool minus = p < e && *p == '-';
    if (p < e && (*p == '-' || *p == '+')) ++p;
    if (p == e) return false;
    std::int64_t x = 0;
    for (; p < e && IsDigit(*p); ++p) x = std::min<std::int64_t>(x * 10 + (*p - '0'), 1000000000);
    exponent += minus ? -x : x;
  }
  return p == e && NearestDouble(std::string_view(digits, count), exponent, negative, value);
}

// The shortest decimal that reads back as `value` (finite, not zero): its significant digits,
// without trailing zeros, and the power of ten of the first one.
struct Decimal {
  char digits[24];
  int count = 0;
  int exponent = 0;
  bool negative = false;
};

Decimal ShortestDecimal(double value) {
  char buf[40];
  const char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
  Decimal d;
  const char* p = buf;
  if (*p == '-') d.negative = true, ++p;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') d.digits[d.count++] = *p;
  while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
  std::from_chars(p + 1 + (p[1] == '+'), end, d.exponent);
  return d;
}

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The value as a whole number of 10^-places when it is the double nearest to such a decimal
// below 10^15 (so that the digits are exact): the usual money and quantity values.
// The product and the quotient are those of IEEE double arithmetic, worked out exactly.
bool ScaledDecimal(double value, int places, std::int64_t* scaled) {
  const double r = std::nearbyint(NearestProduct(value, static_cast<std::uint64_t>(kPow10[places])));
  if (!(std::fabs(r) < 1e15)) return false;
  const double back = NearestDouble(static_cast<std::uint64_t>(std::fabs(r)), places);
  if ((r < 0 ? -back : back) != value) return false;
  *scaled = static_cast<std::int64_t>(r);
  return true;
}

// Writes scaled * 10^-places with all `places` digits after the point (none and no point for 0).
char* WriteScaled(std::int64_t scaled, int places, char* o) {
  if (scaled < 0) *o++ = '-';
  const std::uint64_t magnitude =
      scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  const auto unit = static_cast<std::uint64_t>(kPow10[places]);
  o = std::to_chars(o, o + 24, magnitude / unit).ptr;
  if (places > 0) {
    *o++ = '.';
    std::uint64_t fraction = magnitude % unit;
    for (int k = places - 1; k >= 0; --k, fraction /= 10) o[k] = static_cast<char>('0' + fraction % 10);
    o += places;
  }
  return o;
}

// [+-] digits [point digits], at least one digit and at most 15: the value is the nearest double
// to the digits over a power of ten, without the general conversion. False for any other form.
// `point2` is a second character taken for the point.
bool ParseSimpleDecimal(const char* p, const char* e, char point, char point2, double* value) {
  bool negative = false;
  if (p < e && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::int64_t m = 0;
  int digits = 0, places = 0;
  bool seen_point = false;
  for (; p < e; ++p) {
    if (IsDigit(*p)) {
      if (++digits > 15) return false;
      m = m * 10 + (*p - '0');
      places += seen_point ? 1 : 0;
    } else if ((*p == point || *p == point2) && !seen_point) {
      seen_point = true;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  const double v = NearestDouble(static_cast<std::uint64_t>(m), places);
  *value = negative ? -v : v;
  return true;
}

// printf's "%.15g" of `value` into `buf`, without a separate rounding step where the shortest
// decimal of the value has at most 15 digits: the 15-digit rounding of the value is then that
// very decimal, since two 15-digit decimals lie farther apart than a double's precision.
void PrintfG15(double value, char* buf, std::size_t size) {
  if (value == 0) {
    std::strcpy(buf, value == 0 && std::signbit(value) ? "-0" : "0");
    return;
  }
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    *std::to_chars(buf, buf + size - 1, static_cast<long long>(value)).ptr = '\0';
    return;
  }
  // A decimal of at most four places that the value is the nearest double to has at most 15
  // digits (below 10^15) and is at least 10^-4: printf writes it plainly, as it is.
  std::int64_t scaled;
  for (int places = 1; places <= 4; ++places) {
    if (ScaledDecimal(value, places, &scaled)) {
      char* o = WriteScaled(scaled, places, buf);
      while (o[-1] == '0') --o;  // the last place is not 0, or fewer places would have done
      *o = '\0';
      return;
    }
  }
  const Decimal d = ShortestDecimal(value);
  if (d.count > 15 || !std::isnormal(value)) {  // a subnormal's precision is coarser
    *std::to_chars(buf, buf + size - 1, value, std::chars_format::general, 15).ptr = '\0';
    return;
  }
  char* o = buf;
  if (d.negative) *o++ = '-';
  const int x = d.exponent;
  if (x < -4 || x >= 15) {
    *o++ = d.digits[0];
    if (d.count > 1) *o++ = '.';
    for (int i = 1; i < d.count; ++i) *o++ = d.digits[i];
    *o++ = 'e';
    *o++ = x < 0 ? '-' : '+';
    const int magnitude = x < 0 ? -x : x;
    if (magnitude < 10) *o++ = '0';
    o = std::to_chars(o, buf + size - 1, magnitude).ptr;
  } else if (x < 0) {
    *o++ = '0';
    *o++ = '.';
    for (int i = -1; i > x; --i) *o++ = '0';
    for (int i = 0; i < d.count; ++i) *o++ = d.digits[i];
  } else {
    for (int i = 0; i <= x; ++i) *o++ = i < d.count ? d.digits[i] : '0';
    if (d.count > x + 1) *o++ = '.';
    for (int i = x + 1; i < d.count; ++i) *o++ = d.digits[i];
  }
  *o = '\0';
}

// printf's "%.*f" of `value` into `buf`; answers the length, or -1 when it does not fit. Where
// the shortest decimal of the value has no more places than asked and the value is small
// enough for a double to be finer than those places, that decimal is the rounding.
int PrintfFixed(double value, int decimals, char* buf, std::size_t size) {
  if (decimals < 16 && std::fabs(value) < kPow10[15 - decimals]) {
    std::int64_t scaled;
    if (ScaledDecimal(value, decimals, &scaled)) {
      char* o = WriteScaled(scaled, decimals, buf);
      *o = '\0';
      return static_cast<int>(o - buf);
    }
  }
  if (decimals < 16 && value != 0 && std::fabs(value) < kPow10[15 - decimals]) {
    const Decimal d = ShortestDecimal(value);
    const int places = d.count - 1 - d.exponent;
    if (places <= decimals) {
      char* o = buf;
      if (d.negative) *o++ = '-';
      if (d.exponent < 0) {
        *o++ = '0';
      } else {
        for (int i = 0; i <= d.exponent; ++i) *o++ = i < d.count ? d.digits[i] : '0';
      }
      if (decimals > 0) *o++ = '.';
      for (int k = 1; k <= decimals; ++k) {
        const int i = d.exponent + k;  // the digit for 10^-k
        *o++ = i >= 0 && i < d.count ? d.digits[i] : '0';
      }
      *o = '\0';
      return static_cast<int>(o - buf);
    }
  }
  const auto written = std::to_chars(buf, buf + size - 1, value, std::chars_format::fixed, decimals);
  if (written.ec != std::errc()) return -1;
  *written.ptr = '\0';
  return static_cast<int>(written.ptr - buf);
}

}  // namespace

std::string FormatNumber(double value, char decimal_separator) {
  if (value == 0) value = 0;  // no "-0"
  char buf[40];
  PrintfG15(value, buf, sizeof buf);
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
  if (ParseSimpleDecimal(t.data(), t.data() + t.size(), decimal_separator, decimal_separator, value)) return true;
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
      *value = NearestDouble(negative ? -v : v);
      return true;
    }
  }
  if (e - b > 64) return false;
  if (ParseSimpleDecimal(bytes + b, bytes + e, '.', ',', value)) return true;
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
  int n = PrintfFixed(value, static_cast<int>(decimals), buf, sizeof buf);
  if (n <= 0) return false;
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
