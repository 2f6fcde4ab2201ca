// Numbers written as text straight into a character buffer, for writers
// that emit millions of them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velamanifold {

// Bytes a caller must have free at the pointer given to WriteG9: the longest
// text is 16 ("-1.23456789e-308"), and the writer may scribble a little past
// the end it returns.
constexpr size_t kG9Room = 24;

// Bytes a caller must have free at the pointer given to WriteUnsigned or
// WriteInteger (20 digits and a sign).
constexpr size_t kIntegerRoom = 21;

// Writes `value` exactly as printf's "%.9g" does ("10", "0.1", "0.333333333",
// "1e-12", "-0", "inf") and returns the end of the text.
char* WriteG9(char* out, double value);

// Writes the integer in decimal and returns the end of the text.
char* WriteUnsigned(char* out, uint64_t value);
char* WriteInteger(char* out, int64_t value);

}  // namespace velamanifold
