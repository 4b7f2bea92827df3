#pragma once

#include <cstdint>
#include <string_view>

// Conversions to double rounded to nearest, ties to even, worked out in integer arithmetic. The
// 32-bit DLL computes with the x87 unit, whose 80-bit intermediates round a second time when
// they are stored (and whose precision the host program may set as it likes); these give the
// same bits on every build, whatever the unit does.
namespace epd::tables {

// The double nearest to an integer: what the conversion gives once its result is stored.
double NearestDouble(std::int64_t value);

// The double nearest to significand * 10^-places, for places from 0 to 19.
double NearestDouble(std::uint64_t significand, int places);

// The double nearest to the exact product value * factor: what an IEEE multiplication of two
// doubles gives (for a factor below 2^53, which a double holds exactly).
double NearestProduct(double value, std::uint64_t factor);

// The double nearest to digits * 10^exponent, `digits` being decimal digits only (any number,
// leading zeros allowed). False when a nonzero value is beyond the largest double or nearer to
// zero than to the smallest subnormal, as std::from_chars answers.
bool NearestDouble(std::string_view digits, std::int64_t exponent, bool negative, double* value);

}  // namespace epd::tables
