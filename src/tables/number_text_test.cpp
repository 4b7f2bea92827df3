#include "tables/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace epd::tables {
namespace {

// What the texts were first made with: printf's "%.15g" and "%.*f". The fast paths must write
// the very same bytes.
std::string PrintfNumber(double value) {
  if (value == 0) value = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string out;
  const char* e = std::strchr(buf, 'e');
  const std::size_t mantissa = e ? static_cast<std::size_t>(e - buf) : std::strlen(buf);
  for (std::size_t i = 0; i < mantissa; ++i) out += buf[i] == '.' ? ',' : buf[i];
  if (e) out += "E" + std::to_string(std::atoi(e + 1));
  return out;
}

std::string PrintfStored(double value, std::uint32_t width, std::uint32_t decimals) {
  if (decimals >= width) decimals = width > 1 ? width - 2 : 0;
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), value);
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return "<refused>";
  if (buf[0] == '-' && std::strspn(buf + 1, "0.") == std::strlen(buf + 1)) std::memmove(buf, buf + 1, n--);
  if (static_cast<std::uint32_t>(n) > width) return "<refused>";
  return std::string(width - static_cast<std::uint32_t>(n), ' ') + buf;
}

std::string Stored(double value, std::uint32_t width, std::uint32_t decimals) {
  std::string out(width, '?');
  return FormatStoredNumber(value, width, decimals, out.data()) ? out : "<refused>";
}

std::vector<double> Values() {
  std::vector<double> v = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.1,
                           0.2 + 0.1,
                           12.5,
                           1234.5,
                           0.0001,
                           0.00001,
                           1e-5,
                           1e14,
                           1e15,
                           1e15 - 1,
                           1e15 + 1,
                           123456789012345.0,
                           0.1 * 3,
                           2.675,
                           1.005,
                           -0.004,
                           -0.005,
                           9.995,
                           99.995,
                           1e20,
                           1.5e-7,
                           1e300,
                           -1e-300,
                           std::numeric_limits<double>::denorm_min(),
                           4.9e-310,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min()};
  // Money, quantities and rates as tables hold them, and numbers of every magnitude.
  std::uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return x;
  };
  for (int i = 0; i < 20000; ++i) {
    v.push_back(static_cast<double>(static_cast<std::int64_t>(next() % 100000000) - 50000000) / 100.0);
    v.push_back(static_cast<double>(next() % 10000000) / 1000.0);
    v.push_back(static_cast<double>(next() % 10000000000000000ull) / std::pow(10.0, static_cast<int>(next() % 20)));
    double d;
    const std::uint64_t bits = next();
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) v.push_back(d);
  }
  return v;
}

TEST(NumberText, TextsAreExactlyWhatPrintfWrites) {
  for (double value : Values()) {
    ASSERT_EQ(FormatNumber(value, ','), PrintfNumber(value)) << value;
    for (auto [width, decimals] : {std::pair{12u, 2u}, {10u, 3u}, {20u, 0u}, {6u, 2u}, {30u, 15u}, {3u, 5u}})
      ASSERT_EQ(Stored(value, width, decimals), PrintfStored(value, width, decimals))
          << value << " in " << width << "." << decimals;
  }
}

// Numbers read from texts and from stored fields are the doubles nearest to them, as from_chars
// gives them, whichever way they are read.
TEST(NumberText, ReadingGivesTheNearestDouble) {
  auto nearest = [](std::string text) {
    for (char& c : text)
      if (c == ',') c = '.';
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
  };
  std::vector<std::string> texts = {"-0,00",
                                    "5,",
                                    ",5",
                                    "0,1",
                                    "1,005",
                                    "2,675",
                                    "-123,45",
                                    "999999999999999",
                                    "99999999999999,9",
                                    "0,000000000000001",
                                    "1234567890123456",
                                    "12345678901234,56"};
  std::uint64_t x = 99;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    std::string t = std::to_string(x % 100000000000000000ull);
    t = t.substr(0, 1 + x % 17);
    const std::size_t point = (x >> 20) % (t.size() + 1);
    if (point < t.size()) t.insert(point, ",");
    if ((x >> 30) & 1) t.insert(0, "-");
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    const double expected = nearest(t.front() == '+' ? t.substr(1) : t);
    double user = 7, stored = 7;
    ASSERT_TRUE(ParseUserNumber(t, ',', &user)) << t;
    EXPECT_EQ(std::memcmp(&user, &expected, sizeof user), 0) << t << " " << user << " " << expected;
    std::string field = "   " + t;
    for (char& c : field)
      if (c == ',') c = '.';
    ASSERT_TRUE(ParseStoredNumber(field.data(), field.size(), &stored)) << field;
    if (field.find('.') != std::string::npos) {  // a stored "-0" reads as 0
      EXPECT_EQ(std::memcmp(&stored, &expected, sizeof stored), 0) << field << " " << stored << " " << expected;
    }
  }
  double v;
  EXPECT_FALSE(ParseUserNumber("1,2,3", ',', &v));
  EXPECT_FALSE(ParseUserNumber("1.5", ',', &v));
  EXPECT_FALSE(ParseUserNumber(",", ',', &v));
  EXPECT_FALSE(ParseStoredNumber("1.2.3", 5, &v));
}

}  // namespace
}  // namespace epd::tables
