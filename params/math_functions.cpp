#include "params/math_functions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>

namespace velamanifold {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDegree = std::numbers::pi / 180;

// The sine of an angle in degrees, exact at every multiple of 90 degrees
// (sin(180) is 0, not 1.2e-16), so that a stand at 90 degrees is square.
double SinDegrees(double a) {
  if (!std::isfinite(a)) return kNaN;
  const double r = std::fmod(a, 360.0);
  if (std::fmod(r, 90.0) == 0) {
    static const double kQuarter[] = {0, 1, 0, -1};
    return kQuarter[static_cast<int>((r < 0 ? r + 360 : r) / 90) % 4];
  }
  return std::sin(r * kDegree);
}

double CosDegrees(double a) { return std::isfinite(a) ? SinDegrees(std::fmod(a, 360.0) + 90) : kNaN; }

// The tangent is undefined at odd multiples of 90 degrees.
double TanDegrees(double a) {
  const double c = CosDegrees(a);
  return c == 0 ? kNaN : SinDegrees(a) / c;
}

double Inverse(double (*f)(double), double x) { return f(x) / kDegree; }

// Rounds half away from zero, to `digits` decimals when given.
double Round(const std::vector<double>& a) {
  if (a.size() == 1) return std::round(a[0]);
  const double scale = std::pow(10.0, std::trunc(a[1]));
  if (!std::isfinite(scale) || scale == 0) return a[0];
  return std::round(a[0] * scale) / scale;
}

const std::map<std::string, MathFunction>& Table() {
  using V = const std::vector<double>&;
  static const std::map<std::string, MathFunction> table = {
      {"sin", {1, 1, "1 argument", [](V a) { return SinDegrees(a[0]); }}},
      {"cos", {1, 1, "1 argument", [](V a) { return CosDegrees(a[0]); }}},
      {"tan", {1, 1, "1 argument", [](V a) { return TanDegrees(a[0]); }}},
      {"asin", {1, 1, "1 argument", [](V a) { return Inverse(std::asin, a[0]); }}},
      {"acos", {1, 1, "1 argument", [](V a) { return Inverse(std::acos, a[0]); }}},
      {"atan", {1, 1, "1 argument", [](V a) { return Inverse(std::atan, a[0]); }}},
      {"atan2", {2, 2, "2 arguments", [](V a) { return std::atan2(a[0], a[1]) / kDegree; }}},
      {"sqrt", {1, 1, "1 argument", [](V a) { return std::sqrt(a[0]); }}},
      {"abs", {1, 1, "1 argument", [](V a) { return std::fabs(a[0]); }}},
      {"floor", {1, 1, "1 argument", [](V a) { return std::floor(a[0]); }}},
      {"ceil", {1, 1, "1 argument", [](V a) { return std::ceil(a[0]); }}},
      {"round", {1, 2, "1 or 2 arguments", Round}},
      {"pow", {2, 2, "2 arguments", [](V a) { return std::pow(a[0], a[1]); }}},
      {"min", {1, -1, "at least 1 argument", [](V a) { return *std::min_element(a.begin(), a.end()); }}},
      {"max", {1, -1, "at least 1 argument", [](V a) { return *std::max_element(a.begin(), a.end()); }}},
      {"if", {3, 3, "3 arguments", [](V a) { return a[0] != 0 ? a[1] : a[2]; }}},
  };
  return table;
}

}  // namespace

const MathFunction* FindMathFunction(const std::string& name) {
  auto it = Table().find(name);
  return it == Table().end() ? nullptr : &it->second;
}

std::vector<std::string> MathFunctionNames() {
  std::vector<std::string> names;
  for (const auto& [name, function] : Table()) names.push_back(name);
  return names;
}

}  // namespace velamanifold
