// Tolerant readers of model-document values: every reader falls back to the
// caller's default instead of throwing.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace velamanifold {

using json = nlohmann::json;

// Largest magnitude a model number may have. Beyond it, and for NaN and the
// infinities, the object that reads the number builds nothing: such values
// only arise from mistakes (a division by zero in an expression), and the
// geometry library has no answer for them.
inline constexpr double kMaxModelMagnitude = 1e9;

// An object's build read a number it cannot use; the object builds nothing.
class UnusableNumber : public std::runtime_error {
 public:
  UnusableNumber() : std::runtime_error("unusable number") {}
};

// Marks the build of one object on this thread for its lifetime: while one
// is alive, Jd and ModelNumber throw UnusableNumber for unusable numbers,
// before they can reach a size, a copy offset or a transform.
class NumberCheckScope {
 public:
  NumberCheckScope();
  ~NumberCheckScope();
  NumberCheckScope(const NumberCheckScope&) = delete;
  NumberCheckScope& operator=(const NumberCheckScope&) = delete;
};

// Returns `value`; throws UnusableNumber inside a NumberCheckScope when it is
// NaN, infinite or larger in magnitude than kMaxModelMagnitude.
double ModelNumber(double value);

// Returns the member `key` of `value`, or a shared empty object when `value`
// is not an object or lacks the member.
const json& Jobj(const json& value, const std::string& key);

// Returns the value as a bool: numbers are true when non-zero, strings only
// for "true" and "1"; other kinds give `def`.
bool Jb(const json& value, bool def);

// Returns the value as an int: numbers truncated toward zero, strings by their
// leading base-10 integer; booleans and other kinds give `def`.
int Ji(const json& value, int def);

// Returns the value as a double: numbers, booleans (1/0) and strings by their
// longest numeric prefix (one leading "=" dropped); otherwise `def`. Inside a
// NumberCheckScope an unusable number throws UnusableNumber.
double Jd(const json& value, double def);

// Returns max(value, low), with a value that is not a number taken as low.
inline double AtLeast(double value, double low) { return value >= low ? value : low; }

// Returns true and stores in `out` the value of the longest numeric prefix of
// `text` as strtod reads it (leading white space skipped); false when there is
// none or the value overflows the double range.
bool ParseNumberPrefix(const char* text, double& out);

// Returns the text of a string value, otherwise `def`.
std::string Js(const json& value, const std::string& def);

// Returns Js(Jobj(object, key), def).
std::string Js(const json& object, const std::string& key, const std::string& def);

// Returns the first object record of the document whose "vid" equals `id`, or
// a shared null value. An empty id never matches.
const json& FindObject(const json& document, const std::string& id);

// Returns true for the five planar type names ("rectangle", "circle",
// "triangle2d", "merge2d", "slice").
bool Is2DObjectType(const std::string& type);

}  // namespace velamanifold
