#include "tables/nearest_double.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>

#include "tables/dbf_layout.h"
#include "tables/dbf_test_util.h"
#include "tables/field_codec.h"
#include "tables/number_text.h"
#include "tables/table.h"

// Hard cases of the conversions between numbers and texts, with the expected doubles as bit
// patterns worked out in exact rational arithmetic: the same on every build, the 32-bit one on
// the x87 unit included, whose 80-bit intermediates would round them a second time.
namespace epd::tables {
namespace {

constexpr std::uint64_t kRefused = 0x7FF8DEADBEEF0000;  // a NaN: no text below reads as it

std::uint64_t Bits(double v) { return std::bit_cast<std::uint64_t>(v); }
double FromBits(std::uint64_t b) { return std::bit_cast<double>(b); }

std::string LittleEndian(std::uint64_t v) {
  std::string out;
  for (int i = 0; i < 8; ++i, v >>= 8) out += static_cast<char>(v & 0xFF);
  return out;
}

struct ReadCase {
  const char* text;  // the user's form, with a decimal comma
  std::uint64_t bits;
};

const ReadCase kReadCases[] = {
    // Decimals of at most 15 digits whose quotient rounded to 64 bits first rounds to the wrong
    // neighbour.
    {"0,6174095", 0x3FE3C1D19157ABB9},
    {"0,401683867", 0x3FD9B530400621CF},
    {"931927,978787", 0x412C70AFF52391D5},
    {"9,990714079370", 0x4023FB3EE035296B},
    {"8,48361446978", 0x4020F79C50D727AB},
    {"71,17340216841", 0x4051CB1905689817},
    {"647,026866364", 0x4084383705B655F1},
    // The same with 16 and 17 digits and exponents.
    {"8,6586872437558501E-13", 0x3D6E770D5851CDAF},
    {"3,837775261317837E9", 0x41EC97F9B3AA2BB9},
    {"9,4544635026727980E6", 0x4162086FF015E543},
    {"3,744854848278935E0", 0x400DF576756D0023},
    // Exactly halfway between two doubles (to even), and just above.
    {"9007199254740993", 0x4340000000000000},
    {"9007199254740995", 0x4340000000000002},
    {"1,00000000000000011102230246251565404236316680908203125", 0x3FF0000000000000},
    {"1,00000000000000011102230246251565404236316680908203126", 0x3FF0000000000001},
    {"0,5000000000000000277555756156289135105907917022705078125", 0x3FE0000000000000},
    // 15 to 17 significant digits.
    {"999999999999999", 0x430C6BF52633FFF8},
    {"0,000000000000001", 0x3CD203AF9EE75616},
    {"123456789012,345", 0x423CBE991A145852},
    {"0,10000000000000001", 0x3FB999999999999A},
    {"0,1", 0x3FB999999999999A},
    {"2,675", 0x4005666666666666},
    {"-1,5E-5", 0xBEEF75104D551D69},
    {"1E22", 0x4480F0CF064DD592},
    {"1E23", 0x44B52D02C7E14AF6},
    // The ends of the range: the largest double, the smallest normal and subnormal ones.
    {"1,7976931348623157E308", 0x7FEFFFFFFFFFFFFF},
    {"1,7976931348623158E308", 0x7FEFFFFFFFFFFFFF},
    {"1,7976931348623159E308", kRefused},
    {"1E400", kRefused},
    {"2,2250738585072014E-308", 0x0010000000000000},
    {"2,2250738585072011E-308", 0x000FFFFFFFFFFFFF},
    {"4,9406564584124654E-324", 0x0000000000000001},
    {"2,4703282292062328E-324", 0x0000000000000001},
    {"2,4703282292062327E-324", kRefused},
    {"1E-400", kRefused},
    // Negative zero.
    {"-0", 0x8000000000000000},
    {"-0,000", 0x8000000000000000},
    {"-0E5", 0x8000000000000000},
    // The largest values a numeric field of 20 characters holds.
    {"99999999999999999999", 0x4415AF1D78B58C40},
    {"-9999999999999999999", 0xC3E158E460913D00},
    {"999999999999999999", 0x43ABC16D674EC800},
    {"9999999999999999", 0x4341C37937E08000},
    {"9223372036854775807", 0x43E0000000000000},
};

TEST(HardNumbers, TextsReadAsTheNearestDouble) {
  for (const ReadCase& c : kReadCases) {
    const std::string user = c.text;
    double v = 7;
    const bool read = ParseUserNumber(user, ',', &v);
    EXPECT_EQ(read, c.bits != kRefused) << user;
    if (read && c.bits != kRefused) {
      EXPECT_EQ(Bits(v), c.bits) << user << " read as " << v;
    }

    std::string stored = "  " + user;
    for (char& ch : stored)
      if (ch == ',') ch = '.';
    std::uint64_t want = c.bits;
    if (stored.find_first_of(".E") == std::string::npos && want == 0x8000000000000000) want = 0;  // "-0" stored is 0
    v = 7;
    ASSERT_EQ(ParseStoredNumber(stored.data(), stored.size(), &v), want != kRefused) << stored;
    if (want != kRefused) {
      EXPECT_EQ(Bits(v), want) << stored << " read as " << v;
    }
  }
}

struct WriteCase {
  std::uint64_t bits;
  const char* user;     // FormatNumber, decimal comma
  const char* stored2;  // a field of 20 characters with 2 places
  const char* stored4;  // 24 characters, 4 places
};

// Texts as printf's "%.15g" and "%.*f" write them, worked out from the exact binary values.
const WriteCase kWriteCases[] = {
    {0x3FE3C1D19157ABB9, "0,6174095", "                0.62", "                  0.6174"},
    {0x4084383705B655F1, "647,026866364", "              647.03", "                647.0269"},
    {0x3D6E770D5851CDAF, "8,65868724375585E-13", "                0.00", "                  0.0000"},
    {0x7FEFFFFFFFFFFFFF, "1,79769313486232E308", nullptr, nullptr},
    {0x0000000000000001, "4,94065645841247E-324", "                0.00", "                  0.0000"},
    {0x0010000000000000, "2,2250738585072E-308", "                0.00", "                  0.0000"},
    {0x8000000000000000, "0", "                0.00", "                  0.0000"},
    {0x430C6BF52633FFF8, "999999999999999", "  999999999999999.00", "    999999999999999.0000"},
    {0x43ABC16D674EC800, "1E18", nullptr, "1000000000000000000.0000"},
    {0x3FD3333333333334, "0,3", "                0.30", "                  0.3000"},
    {0x4005666666666666, "2,675", "                2.67", "                  2.6750"},
    {0x3FF0147AE147AE14, "1,005", "                1.00", "                  1.0050"},
    {0x3F0A36E2EB1C432D, "5E-5", "                0.00", "                  0.0001"},
    {0x3FC3333333333333, "0,15", "                0.15", "                  0.1500"},
    {0x44B52D02C7E14AF6, "1E23", nullptr, nullptr},
    {0xC0C81C8000000000, "-12345", "           -12345.00", "             -12345.0000"},
};

TEST(HardNumbers, NumbersWrittenAsPrintfWritesThem) {
  for (const WriteCase& c : kWriteCases) {
    const double v = FromBits(c.bits);
    EXPECT_EQ(FormatNumber(v, ','), c.user) << v;
    for (auto [width, places, want] : {std::tuple{20u, 2u, c.stored2}, {24u, 4u, c.stored4}}) {
      std::string out(width, '?');
      const bool fits = FormatStoredNumber(v, width, places, out.data());
      EXPECT_EQ(fits, want != nullptr) << v << " in " << width << "." << places;
      if (fits && want != nullptr) {
        EXPECT_EQ(out, want) << v;
      }
    }
  }
}

TEST(HardNumbers, ProductsQuotientsAndIntegersRoundOnce) {
  struct Product {
    std::uint64_t value;
    std::uint64_t factor;
    std::uint64_t bits;
  };
  const Product products[] = {
      {0x4083254C14397A25, 1000000000000000, 0x43A10139F47FCCDD},
      {0x4053DEBD1A6688A9, 1000000000000000, 0x4371A5EE787A9B11},
      {0x40814DDCE911E502, 1000000000000000, 0x439EBD046ECDD309},
      {0x3F0A36E2EB1C432D, 10000, 0x3FE0000000000000},  // 0.00005 * 10000 is 0.5, not above it
      {0x7FEFFFFFFFFFFFFF, 10, 0x7FF0000000000000},     // beyond the largest: infinity
      {0x8000000000000001, 3, 0x8000000000000003},      // subnormals
  };
  for (const Product& p : products)
    EXPECT_EQ(Bits(NearestProduct(FromBits(p.value), p.factor)), p.bits) << std::hex << p.value << " * " << p.factor;

  struct Quotient {
    std::uint64_t significand;
    int places;
    std::uint64_t bits;
  };
  const Quotient quotients[] = {
      {6174095, 7, 0x3FE3C1D19157ABB9},
      {2930906509441058283ull, 17, 0x403D4F1EE3D8D41F},
      {2390236455592724762ull, 7, 0x424BD375B1BBA2E1},
      {18446744073709551615ull, 0, 0x43F0000000000000},
      {1, 19, 0x3BFD83C94FB6D2AC},
  };
  for (const Quotient& q : quotients)
    EXPECT_EQ(Bits(NearestDouble(q.significand, q.places)), q.bits) << q.significand << "e-" << q.places;

  EXPECT_EQ(Bits(NearestDouble(std::int64_t{999999999999999999})), 0x43ABC16D674EC800u);
  EXPECT_EQ(Bits(NearestDouble(std::int64_t{9007199254740993})), 0x4340000000000000u);
  EXPECT_EQ(Bits(NearestDouble(INT64_MIN)), 0xC3E0000000000000u);
  EXPECT_EQ(Bits(NearestDouble(std::int64_t{0})), 0u);
}

// Where the arithmetic rounds once (SSE2), the integer work must agree with it everywhere.
TEST(HardNumbers, AgreesWithSingleRoundingArithmetic) {
  if (FLT_EVAL_METHOD != 0) GTEST_SKIP() << "this build computes with excess precision";
  std::uint64_t x = 1234567;
  auto next = [&x] { return x ^= x << 13, x ^= x >> 7, x ^= x << 17; };
  for (int i = 0; i < 200000; ++i) {
    const double v = FromBits(next() & 0x7FEFFFFFFFFFFFFF);
    const std::uint64_t factor = next() % (std::uint64_t{1} << (next() % 54));
    ASSERT_EQ(Bits(NearestProduct(v, factor)), Bits(v * static_cast<double>(factor))) << v << " * " << factor;
    const std::uint64_t m = next() % 1000000000000000;
    const int places = static_cast<int>(next() % 16);
    ASSERT_EQ(Bits(NearestDouble(m, places)), Bits(static_cast<double>(m) / std::pow(10.0, places)));
    const auto n = static_cast<std::int64_t>(next());
    ASSERT_EQ(Bits(NearestDouble(n)), Bits(static_cast<double>(n)));
    // Any digits and exponent, against the library's conversion, which rounds once here.
    std::string digits = std::to_string(next()) + std::to_string(next() % 1000);
    digits.resize(1 + next() % digits.size());
    const std::int64_t exponent = static_cast<std::int64_t>(next() % 700) - 350;
    const std::string text = digits + "e" + std::to_string(exponent);
    double want = 0, got = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), want);
    ASSERT_EQ(NearestDouble(digits, exponent, false, &got), ec == std::errc()) << text;
    if (ec == std::errc()) {
      ASSERT_EQ(Bits(got), Bits(want)) << text;
    }
  }
}

// A currency field stores ten-thousandths: 0.00005 is 0.5 of them, which rounds to even, to 0.
// Read back, a stored integer beyond 2^53 is divided exactly, not rounded to a double first.
TEST(HardNumbers, CurrencyFieldsRoundOnce) {
  testing::RussianFormat ru;
  testing::ScratchDir dir;
  const std::string path = dir.Path("money.dbf");
  testing::DbfBuilder(0x30).Field("PRICE", 'Y', 8).ExtraHeader(std::string(263, '\0')).Write(path);
  const std::pair<const char*, const char*> cases[] = {
      {"0,00005", "0"}, {"0,00015", "0,0001"}, {"12345,67891", "12345,6789"}, {"-0,00005", "0"}};
  for (const auto& [text, read] : cases) {
    auto t = Table::Open(path);
    t->Append();
    t->SetAsString("PRICE", text);
    t->Post();
  }
  auto t = Table::Open(path);
  t->First();
  for (const auto& [text, read] : cases) {
    ASSERT_FALSE(t->Eof());
    EXPECT_EQ(t->AsString("PRICE"), read) << text;
    t->Next();
  }

  const std::pair<std::int64_t, std::uint64_t> stored[] = {{412792230423486938, 0x42C2C588B6889659},
                                                           {-1271161237372056481, 0xC2DCE721D9A31D69},
                                                           {INT64_MIN, 0xC30A36E2EB1C432D}};
  for (const auto& [integer, bits] : stored) {
    const std::string bytes = testing::DbfBuilder(0x30)
                                  .Field("PRICE", 'Y', 8)
                                  .ExtraHeader(std::string(263, '\0'))
                                  .Record(" " + LittleEndian(static_cast<std::uint64_t>(integer)))
                                  .Bytes();
    const TableLayout layout =
        ParseLayout("money.dbf", reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    double v = 0;
    ASSERT_TRUE(DecodeNumber(layout, layout.fields.at(0), bytes.data() + layout.header_length, &v));
    EXPECT_EQ(Bits(v), bits) << integer;
  }
}

}  // namespace
}  // namespace epd::tables
