#include "params/templates.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "params/math_parser.h"
#include "model/json_access.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Parameter lookups allowed on one path. A parameter that refers to itself,
// directly or through others, has no finite solution; at this depth its
// placeholder stays verbatim.
constexpr int kMaxLookupDepth = 32;

// Significant digits beyond any double's exact decimal expansion print the
// same text, so larger requested counts are cut here instead of asking printf
// for gigabytes.
constexpr int kMaxDigits = 1000;


// Reads a digit count the way atoi does (leading white space, a sign, digits;
// none gives 0), clamped to the int range instead of overflowing.
int ReadDigitCount(const std::string& text) {
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

std::string FormatG(double value, int digits) {
  if (digits > kMaxDigits) digits = kMaxDigits;
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, n);
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), "%.*g", digits, value);
  out.resize(n);
  return out;
}

// One placeholder match: [begin, end) in the body and the inner text.
struct Placeholder {
  size_t begin;
  size_t end;
  size_t innerBegin;
  size_t innerEnd;
};

// Finds the leftmost "{{", one or more bytes other than "}", "}}" at or after
// `from`. The inner run cannot contain "}", so it always ends at the first "}"
// after the opening braces; remembering that "}" keeps the scan linear.
class PlaceholderScanner {
 public:
  explicit PlaceholderScanner(const std::string& text) : text_(text) {}

  std::optional<Placeholder> Next(size_t from) {
    size_t open = text_.find("{{", from);
    while (open != std::string::npos) {
      size_t innerBegin = open + 2;
      if (!closeExhausted_ && (close_ == std::string::npos || close_ < innerBegin)) {
        close_ = text_.find('}', innerBegin);
        closeExhausted_ = close_ == std::string::npos;
      }
      if (closeExhausted_) return std::nullopt;
      if (close_ > innerBegin && close_ + 1 < text_.size() && text_[close_ + 1] == '}') {
        return Placeholder{open, close_ + 2, innerBegin, close_};
      }
      open = text_.find("{{", open + 1);
    }
    return std::nullopt;
  }

 private:
  const std::string& text_;
  size_t close_ = std::string::npos;
  bool closeExhausted_ = false;
};

// Solves expressions against one document. Solved parameter numbers are kept
// per (name, depth), so a parameter referred to many times, or a chain of
// parameters each referring twice to the next, is solved once per depth and
// not exponentially often; the results are those of solving afresh each time.
class Solver {
 public:
  explicit Solver(const json& document) : document_(document) {}

  // Forgets the numbers solved so far; needed when a parameter's value changes.
  void ForgetNumbers() { numbers_.clear(); }

  // Takes note that the type of `element` was solved: an object that has
  // just become a parameter joins the index unless an earlier one holds its
  // id. Solving only ever turns an expression into a type, so no parameter
  // leaves the index.
  void TypeSolved(const json& element) {
    numbers_.clear();
    if (!index_ || !IsParameter(element)) return;
    auto [it, added] = index_->emplace(IdOf(element), &element);
    if (!added && &element < it->second) it->second = &element;  // the first one wins
  }

  json Solve(const json& value, int depth) {
    if (value.is_object()) {
      json out = json::object();
      for (auto it = value.begin(); it != value.end(); ++it) out[it.key()] = Solve(*it, depth);
      return out;
    }
    if (value.is_array()) {
      json out = json::array();
      for (const auto& element : value) out.push_back(Solve(element, depth));
      return out;
    }
    if (IsExpression(value)) return SolveText(value.get_ref<const std::string&>(), depth);
    return value;
  }

  static bool IsExpression(const json& value) {
    if (!value.is_string()) return false;
    const auto& s = value.get_ref<const std::string&>();
    return !s.empty() && s[0] == '=';
  }

  // Returns the solved text of an expression string (one beginning with "=").
  std::string SolveText(const std::string& expression, int depth) {
    size_t start = 1;
    while (start < expression.size() && IsBlank(expression[start])) ++start;
    std::string body = expression.substr(start);
    std::string text = Substitute(body, depth);
    double value = 0;
    // Text that does not evaluate stays text ("20mm", "M8", "Size 5").
    if (TryEvalMath(text, value)) return NumberToJsonString(value);
    return text;
  }

 private:
  std::string Substitute(const std::string& body, int depth) {
    if (body.find("{{") == std::string::npos) return body;
    std::string out;
    out.reserve(body.size());
    PlaceholderScanner scanner(body);
    size_t pos = 0;
    while (auto match = scanner.Next(pos)) {
      out.append(body, pos, match->begin - pos);
      std::string inner = body.substr(match->innerBegin, match->innerEnd - match->innerBegin);
      std::string name = inner;
      int digits = 15;
      size_t bar = inner.find('|');
      if (bar != std::string::npos) {
        name = inner.substr(0, bar);
        digits = ReadDigitCount(inner.substr(bar + 1));
      }
      std::optional<double> number = ParameterNumber(name, depth);
      if (number) {
        out += FormatG(*number, digits);
      } else {
        out.append(body, match->begin, match->end - match->begin);
      }
      pos = match->end;
    }
    out.append(body, pos, std::string::npos);
    return out;
  }

  // Returns the number a placeholder naming `name` stands for, or nothing when
  // it stays unresolved.
  std::optional<double> ParameterNumber(const std::string& name, int depth) {
    if (depth >= kMaxLookupDepth) return std::nullopt;
    auto key = std::make_pair(name, depth);
    auto known = numbers_.find(key);
    if (known != numbers_.end()) return known->second;
    std::optional<double> number = LookUp(name, depth + 1);
    numbers_.emplace(std::move(key), number);
    return number;
  }

  std::optional<double> LookUp(const std::string& name, int depth) {
    const json* parameter = FindParameter(name);
    if (!parameter) return std::nullopt;
    const json& holder = *parameter->find("value");
    auto it = holder.find("value");
    if (it == holder.end()) return std::nullopt;
    std::string text = ValueText(*it, depth);
    if (text.empty()) return std::nullopt;
    // The replacement is solved once more, so a parameter whose solved value
    // is itself an expression ('==3+4' gives '=7') still reads as a number.
    if (text[0] == '=') text = SolveText(text, depth);
    double value = 0;
    if (!ParseNumberPrefix(text.c_str(), value)) return std::nullopt;
    return value;
  }

  std::string ValueText(const json& value, int depth) {
    switch (value.type()) {
      case json::value_t::string: {
        const auto& s = value.get_ref<const std::string&>();
        return IsExpression(value) ? SolveText(s, depth) : s;
      }
      case json::value_t::number_integer:
      case json::value_t::number_unsigned:
      case json::value_t::number_float:
        return NumberToJsonString(value.get<double>());
      case json::value_t::boolean:
        return value.get<bool>() ? "1" : "0";
      case json::value_t::null:
        return "0";
      default:
        return std::string();
    }
  }

  const json* FindParameter(const std::string& name) {
    if (!index_) {
      index_.emplace();
      if (document_.is_object()) {
        auto objects = document_.find("objects");
        if (objects != document_.end() && objects->is_array()) {
          for (const auto& element : *objects) {
            if (IsParameter(element)) index_->emplace(IdOf(element), &element);  // the first wins
          }
        }
      }
    }
    auto it = index_->find(name);
    return it == index_->end() ? nullptr : it->second;
  }

  static bool IsParameter(const json& element) {
    if (!element.is_object()) return false;
    auto type = element.find("type");
    auto value = element.find("value");
    return type != element.end() && type->is_string() && *type == "parameter" &&
           value != element.end() && value->is_object();
  }

  static std::string IdOf(const json& element) {
    auto vid = element.find("vid");
    return vid != element.end() && vid->is_string() ? vid->get<std::string>() : "";
  }

  const json& document_;
  std::optional<std::unordered_map<std::string, const json*>> index_;
  std::map<std::pair<std::string, int>, std::optional<double>> numbers_;
};

// What a solved string is to parameter lookups.
enum class Field { kOther, kType, kValue };

// Solves, in place, every expression inside `value`. `field` marks a string
// that parameter lookups read (the top-level "type" of `element`, or the
// "value" of its top-level "value" object); once it changes, the solver
// catches up so that every later expression sees the document as it now is.
void SolveInPlace(Solver& solver, json& value, const json& element, Field field) {
  if (value.is_object()) {
    for (auto& member : value) SolveInPlace(solver, member, element, Field::kOther);
  } else if (value.is_array()) {
    for (auto& item : value) SolveInPlace(solver, item, element, Field::kOther);
  } else if (Solver::IsExpression(value)) {
    std::string solved = solver.SolveText(value.get_ref<const std::string&>(), 0);
    value = std::move(solved);
    if (field == Field::kType) solver.TypeSolved(element);
    if (field == Field::kValue) solver.ForgetNumbers();
  }
}

}  // namespace

void SolveAllObjects(json& document) {
  if (!document.is_object()) return;
  auto objects = document.find("objects");
  if (objects == document.end() || !objects->is_array()) return;
  Solver solver(document);
  for (auto& element : *objects) {
    if (!element.is_object()) continue;
    for (auto it = element.begin(); it != element.end(); ++it) {
      if (it.key() == "vid") continue;
      if (it.key() == "value" && it->is_object()) {
        for (auto inner = it->begin(); inner != it->end(); ++inner) {
          SolveInPlace(solver, *inner, element, inner.key() == "value" ? Field::kValue : Field::kOther);
        }
      } else {
        SolveInPlace(solver, *it, element, it.key() == "type" ? Field::kType : Field::kOther);
      }
    }
  }
}

json SolveExpression(const json& document, const json& value) {
  Solver solver(document);
  return solver.Solve(value, 0);
}

std::string NumberToJsonString(double d) {
  if (std::isfinite(d) && std::fabs(d) < 1e15 && d == std::trunc(d)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%" PRId64, static_cast<int64_t>(d));
    return buffer;
  }
  // printf writes a NaN with its sign bit set (0/0 gives one) as "-nan".
  if (std::isnan(d)) return "nan";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", d);
  return buffer;
}

}  // namespace velamanifold
