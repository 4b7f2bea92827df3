#include "tables/nearest_double.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace epd::tables {
namespace {

constexpr int kFractionBits = 52;
constexpr int kSmallestUnit = -1074;  // the power of two of the smallest subnormal
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;

int BitLength(std::uint64_t v) { return 64 - std::countl_zero(v); }

// (q + f) * 2^e2 with 0 <= f < 1, f > 0 when `sticky`, rounded to a double. When `sticky`, q
// has at least 55 bits, so that its own bits hold the one below the last place kept.
double RoundBinary(std::uint64_t q, bool sticky, std::int64_t e2, bool negative) {
  std::uint64_t bits = 0;
  if (q != 0) {
    const std::int64_t lead = BitLength(q) - 1 + e2;
    std::int64_t unit = std::max<std::int64_t>(lead - kFractionBits, kSmallestUnit);
    const std::int64_t shift = unit - e2;
    std::uint64_t sig;
    if (shift <= 0) {
      sig = q << -shift;  // exact: fewer than 53 bits
    } else {
      bool half = false;
      if (shift > 64) {
        sig = 0;
        sticky = true;
      } else if (shift == 64) {
        sig = 0;
        half = (q >> 63) != 0;
        sticky = sticky || (q << 1) != 0;
      } else {
        sig = q >> shift;
        half = ((q >> (shift - 1)) & 1) != 0;
        sticky = sticky || (q & ((std::uint64_t{1} << (shift - 1)) - 1)) != 0;
      }
      if (half && (sticky || (sig & 1) != 0)) ++sig;
      if (sig >> (kFractionBits + 1)) {  // rounded up to the next power of two
        sig >>= 1;
        ++unit;
      }
    }
    if (sig >> kFractionBits) {
      const std::int64_t biased = unit + kFractionBits + 1023;
      bits = biased >= 2047 ? 0x7FF0000000000000
                            : (static_cast<std::uint64_t>(biased) << kFractionBits) | (sig & kFractionMask);
    } else {
      bits = sig;  // a subnormal: unit is the smallest
    }
  }
  if (negative) bits |= std::uint64_t{1} << 63;
  return std::bit_cast<double>(bits);
}

constexpr std::uint64_t Pow5(int n) { return n == 0 ? 1 : 5 * Pow5(n - 1); }

constexpr std::uint64_t kPow5[] = {Pow5(0),  Pow5(1),  Pow5(2),  Pow5(3),  Pow5(4),  Pow5(5),  Pow5(6),
                                   Pow5(7),  Pow5(8),  Pow5(9),  Pow5(10), Pow5(11), Pow5(12), Pow5(13),
                                   Pow5(14), Pow5(15), Pow5(16), Pow5(17), Pow5(18), Pow5(19)};

// A nonnegative integer of up to 3072 bits, enough for every decimal of 801 significant digits
// whose value lies within the range of doubles, scaled as the conversion needs.
class Big {
 public:
  bool IsZero() const { return size_ == 0; }
  int BitLength() const { return size_ == 0 ? 0 : 32 * (size_ - 1) + tables::BitLength(limb_[size_ - 1]); }

  void MulAdd(std::uint32_t factor, std::uint32_t add) {
    std::uint64_t carry = add;
    for (int i = 0; i < size_; ++i) {
      const std::uint64_t v = std::uint64_t{limb_[i]} * factor + carry;
      limb_[i] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) limb_[size_++] = static_cast<std::uint32_t>(carry);
  }

  void MulPow5(std::int64_t n) {
    for (; n >= 13; n -= 13) MulAdd(static_cast<std::uint32_t>(Pow5(13)), 0);
    if (n > 0) MulAdd(static_cast<std::uint32_t>(Pow5(static_cast<int>(n))), 0);
  }

  void ShiftLeft(int bits) {
    if (size_ == 0 || bits == 0) return;
    const int limbs = bits / 32, rest = bits % 32;
    limb_[size_ + limbs] = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      const std::uint64_t v = std::uint64_t{limb_[i]} << rest;
      limb_[i + limbs + 1] |= static_cast<std::uint32_t>(v >> 32);
      limb_[i + limbs] = static_cast<std::uint32_t>(v);
    }
    std::fill(limb_, limb_ + limbs, 0u);
    size_ += limbs + 1;
    Trim();
  }

  void ShiftRightOne() {
    for (int i = 0; i < size_; ++i) limb_[i] = (limb_[i] >> 1) | (i + 1 < size_ ? limb_[i + 1] << 31 : 0);
    Trim();
  }

  // The 64 bits from bit `from` up, and whether any bit below `from` is set.
  std::uint64_t Bits(int from, bool* below) const {
    std::uint64_t v = 0;
    for (int b = 63; b >= 0; --b) v = (v << 1) | Bit(from + b);
    *below = false;
    for (int i = 0; i < from && !*below; ++i) *below = Bit(i) != 0;
    return v;
  }

  friend int Compare(const Big& a, const Big& b) {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (int i = a.size_ - 1; i >= 0; --i)
      if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
    return 0;
  }

  // *this -= b, for b <= *this.
  void Subtract(const Big& b) {
    std::int64_t borrow = 0;
    for (int i = 0; i < size_; ++i) {
      std::int64_t v = std::int64_t{limb_[i]} - (i < b.size_ ? b.limb_[i] : 0) - borrow;
      borrow = v < 0;
      limb_[i] = static_cast<std::uint32_t>(v + (borrow << 32));
    }
    Trim();
  }

 private:
  std::uint64_t Bit(int i) const { return i / 32 < size_ ? (limb_[i / 32] >> (i % 32)) & 1 : 0; }
  void Trim() {
    while (size_ > 0 && limb_[size_ - 1] == 0) --size_;
  }

  std::uint32_t limb_[96] = {};
  int size_ = 0;
};

// Beyond this many significant digits only whether more nonzero ones follow can matter: a
// halfway point between two doubles has at most 767.
constexpr std::size_t kKeptDigits = 800;

}  // namespace

double NearestDouble(std::int64_t value) {
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  return RoundBinary(magnitude, false, 0, negative);
}

double NearestDouble(std::uint64_t significand, int places) {
  if (significand == 0 || places == 0) return RoundBinary(significand, false, 0, false);
  // significand / 10^places = significand / 5^places * 2^-places; the quotient by 5^places is
  // taken with 55 bits at least and a remainder, a few bits of the dividend at a time.
  const std::uint64_t divisor = kPow5[std::clamp(places, 0, 19)];
  const int k = std::max(0, 55 + BitLength(divisor) - BitLength(significand));
  std::uint64_t q, r;
  if (BitLength(significand) + k <= 64) {  // the usual places, up to 3: one division
    q = (significand << k) / divisor;
    r = (significand << k) - q * divisor;
  } else {
    q = significand / divisor;
    r = significand % divisor;
    for (int left = k; left > 0;) {
      const int step = std::min(left, 63 - BitLength(divisor));
      q = (q << step) | ((r << step) / divisor);
      r = (r << step) % divisor;
      left -= step;
    }
  }
  return RoundBinary(q, r != 0, -k - places, false);
}

double NearestProduct(double value, std::uint64_t factor) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> kFractionBits) & 0x7FF);
  if (biased == 0x7FF) return value;  // an infinity or a NaN stays one
  const std::uint64_t m = biased != 0 ? (bits & kFractionMask) | (kFractionMask + 1) : bits & kFractionMask;
  const int e = biased != 0 ? biased - 1075 : kSmallestUnit;
  // m * factor in 128 bits, from four products of 32 by 32 bits.
  const std::uint64_t m0 = m & 0xFFFFFFFF, m1 = m >> 32, f0 = factor & 0xFFFFFFFF, f1 = factor >> 32;
  const std::uint64_t p00 = m0 * f0, p01 = m0 * f1, p10 = m1 * f0, p11 = m1 * f1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFF) + (p10 & 0xFFFFFFFF);
  const std::uint64_t lo = (p00 & 0xFFFFFFFF) | (middle << 32);
  const std::uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  if (hi == 0) return RoundBinary(lo, false, e, negative);
  const int t = BitLength(hi);
  const bool sticky = (lo & ((std::uint64_t{1} << t) - 1)) != 0;
  return RoundBinary((lo >> t) | (hi << (64 - t)), sticky, e + t, negative);
}

bool NearestDouble(std::string_view digits, std::int64_t exponent, bool negative, double* value) {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  while (!digits.empty() && digits.back() == '0') digits.remove_suffix(1), ++exponent;
  if (digits.empty()) {
    *value = negative ? -0.0 : 0.0;
    return true;
  }
  const std::int64_t lead = static_cast<std::int64_t>(digits.size()) - 1 + exponent;  // 10^lead <= value
  if (lead > 308 || lead < -325) return false;  // 10^309 > the largest double, 10^-324 < half the smallest
  Big d;
  const bool more = digits.size() > kKeptDigits;  // the last digit is not 0: more is nonzero
  const std::string_view kept = digits.substr(0, kKeptDigits);
  for (char c : kept) d.MulAdd(10, static_cast<std::uint32_t>(c - '0'));
  exponent += static_cast<std::int64_t>(digits.size() - kept.size());
  if (more) {  // a 1 after the kept digits stands for them, on the same side of every halfway point
    d.MulAdd(10, 1);
    --exponent;
  }
  double result;
  if (exponent >= 0) {
    d.MulPow5(exponent);
    const int length = d.BitLength();
    bool below = false;
    const int from = std::max(0, length - 64);
    const std::uint64_t q = d.Bits(from, &below);
    result = RoundBinary(q, below, from + exponent, negative);
  } else {
    // d / 10^p = d * 2^k / 5^p * 2^(-k-p): the quotient with 55 to 57 bits, bit by bit.
    Big divisor;
    divisor.MulAdd(1, 1);
    divisor.MulPow5(-exponent);
    const int k = 56 + divisor.BitLength() - d.BitLength();
    if (k >= 0)
      d.ShiftLeft(k);
    else
      divisor.ShiftLeft(-k);
    divisor.ShiftLeft(56);
    std::uint64_t q = 0;
    for (int i = 56; i >= 0; --i) {
      if (Compare(d, divisor) >= 0) {
        d.Subtract(divisor);
        q |= std::uint64_t{1} << i;
      }
      divisor.ShiftRightOne();
    }
    result = RoundBinary(q, !d.IsZero(), -k + exponent, negative);
  }
  if (result == 0 || result - result != 0) return false;  // rounded to zero, or beyond the largest
  *value = result;
  return true;
}

}  // namespace epd::tables
