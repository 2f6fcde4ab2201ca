#include "export/number_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velamanifold {

namespace {

// "00", "01", ..., "99": two digits a table look-up.
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kDigitPairs;

void PutPair(char* out, uint32_t n) { std::memcpy(out, kDigitPairs.text + 2 * n, 2); }

// Returns the eight decimal digits of n (below 10^8) one a byte, values 0
// to 9, the first digit in the lowest byte. Every step divides all lanes at
// once by multiplying with a reciprocal that is exact over the lane's range:
// two halves of four digits in 32-bit lanes, then pairs in 16-bit lanes,
// then digits in bytes.
uint64_t EightDigits(uint32_t n) {
  const uint64_t fours = n / 10000 | static_cast<uint64_t>(n % 10000) << 32;
  const uint64_t hundreds = (fours * 10486 >> 20) & 0x0000007F0000007FULL;
  const uint64_t pairs = hundreds | (fours - hundreds * 100) << 16;
  const uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000FULL;
  return tens | (pairs - tens * 10) << 8;
}

constexpr uint64_t kAsciiZeros = 0x3030303030303030ULL;

// Stores the eight bytes of `bytes`, lowest first.
void StoreBytes(char* out, uint64_t bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &bytes, 8);
  } else {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bytes >> (8 * i));
  }
}

// 10^k * 2^20 for k = 0 to 15: exact, as every 10^k up to 10^22 is.
constexpr double kScaledPowers[] = {
    0x1p20 * 1e0, 0x1p20 * 1e1, 0x1p20 * 1e2,  0x1p20 * 1e3,  0x1p20 * 1e4,  0x1p20 * 1e5,
    0x1p20 * 1e6, 0x1p20 * 1e7, 0x1p20 * 1e8,  0x1p20 * 1e9,  0x1p20 * 1e10, 0x1p20 * 1e11,
    0x1p20 * 1e12, 0x1p20 * 1e13, 0x1p20 * 1e14, 0x1p20 * 1e15};

// 10^-5 to 10^9, the first five rounded.
constexpr double kTensFromMinus5[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2,
                                      1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9};

char* General9(char* out, double value) {
  return std::to_chars(out, out + kG9Room, value, std::chars_format::general, 9).ptr;
}

// Writes n (below 10^8) in decimal and returns the end.
char* WriteBelow1e8(char* out, uint32_t n) {
  const uint64_t digits = EightDigits(n);
  // Leading zero digits are the low bytes that are zero; the marker bit in
  // the last byte keeps one digit for 0.
  const int zeros = std::countr_zero(digits | 1ULL << 56) / 8;
  StoreBytes(out, (digits + kAsciiZeros) >> (8 * zeros));
  return out + 8 - zeros;
}

}  // namespace

char* WriteG9(char* out, double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const double magnitude = std::fabs(value);
  if (magnitude == 0) {
    if (negative) *out++ = '-';
    *out = '0';
    return out + 1;
  }
  // From 1e-4 up to 1e9, "%.9g" prints a plain decimal (unless rounding
  // carries to 1e9, caught below); anything else, NaN and infinities
  // included, takes the general routine.
  if (!(magnitude >= 1e-4 && magnitude < 1e9)) return General9(out, value);

  // Scale to nine digits before the point, with 20 bits of fraction
  // after it. floor(e2 * log10(2)) is the decimal exponent or one below it;
  // one comparison (not a branch) settles which. The comparison may be off
  // next to an inexact 10^-k, but then the range check below sends the value
  // to the general routine.
  const int binaryExponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  const int estimate = (binaryExponent * 78913) >> 18;  // -5 to 8
  const int scale = 8 - estimate - (magnitude >= kTensFromMinus5[estimate + 6] ? 1 : 0);
  const double scaled = magnitude * kScaledPowers[scale];
  if (!(scaled >= 0x1p20 * 1e8 && scaled < 0x1p20 * 1e9) || scale > 12) {
    return General9(out, value);
  }

  // The power is exact, so `scaled` was rounded once: it is within half a
  // unit in the last place (6e-8 of a unit below 2^30) of the true product,
  // and on the same side of every half (halves are doubles here, and
  // rounding keeps order) unless it landed on one. Only then could the
  // digits differ; a fraction within 2^-19 of a half goes to the exact
  // routine, which also settles true ties as printf does.
  const uint64_t fixed = static_cast<uint64_t>(scaled);
  const uint32_t fraction = static_cast<uint32_t>(fixed) & 0xFFFFF;
  if (fraction - (0x80000 - 2) < 4) return General9(out, value);
  const uint32_t digits = static_cast<uint32_t>(fixed >> 20) + (fraction >= 0x80000 ? 1 : 0);
  // Carrying to ten digits moves the exponent (999999999.7 prints "1e+09").
  if (digits >= 1000000000) return General9(out, value);

  const uint64_t tail = EightDigits(digits % 100000000);
  const char lead = static_cast<char>('0' + digits / 100000000);
  const uint64_t tailText = tail + kAsciiZeros;
  // The index of the last digit that is not a trailing zero (the lead never
  // is): trailing zero digits are the top bytes of `tail` that are zero.
  const int last = 8 - std::countl_zero(tail) / 8;

  if (negative) *out++ = '-';
  const int exponent = 8 - scale;  // of the lead digit: -4 to 8
  if (exponent < 0) {
    std::memcpy(out, "0.000", 5);
    char* first = out + 1 - exponent;  // after "0." and -exponent-1 zeros
    first[0] = lead;
    StoreBytes(first + 1, tailText);
    return first + last + 1;
  }
  const int integerDigits = exponent + 1;
  out[0] = lead;
  StoreBytes(out + 1, tailText);
  if (last < integerDigits) return out + integerDigits;
  out[integerDigits] = '.';
  // The digits after the point again, one place on; exponent is below 8 here.
  StoreBytes(out + integerDigits + 1, tailText >> (8 * exponent));
  return out + last + 2;
}

char* WriteUnsigned(char* out, uint64_t value) {
  if (value < 100000000) return WriteBelow1e8(out, static_cast<uint32_t>(value));
  // Longer numbers: pairs of digits from the end.
  int length = 9;
  for (uint64_t rest = value / 1000000000; rest != 0; rest /= 10) ++length;
  char* end = out + length;
  char* p = end;
  while (value >= 100) {
    p -= 2;
    PutPair(p, static_cast<uint32_t>(value % 100));
    value /= 100;
  }
  if (value >= 10) {
    PutPair(p - 2, static_cast<uint32_t>(value));
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return end;
}

char* WriteInteger(char* out, int64_t value) {
  if (value >= 0) return WriteUnsigned(out, static_cast<uint64_t>(value));
  *out = '-';
  // Negated as unsigned, so the most negative value has its magnitude too.
  return WriteUnsigned(out + 1, 0 - static_cast<uint64_t>(value));
}

}  // namespace velamanifold
