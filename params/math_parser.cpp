#include "params/math_parser.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "params/math_functions.h"

namespace velamanifold {

namespace {

// Levels of parentheses, function calls, conditionals and powers accepted
// before a text is refused; each level costs a handful of stack frames, so
// this keeps hostile input far from the stack limit.
constexpr int kMaxNesting = 200;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNumberChar(char c) { return IsDigit(c) || c == '.'; }

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

double Truth(bool b) { return b ? 1 : 0; }

// Recursive-descent evaluator over one text; positions are byte offsets.
// Lowest to highest precedence: c ? a : b (right to left), ||, &&, == !=,
// < <= > >=, + -, * / %, the signs + - !, ^ (right to left), then numbers,
// names, calls and parentheses. A branch that is not taken (of ?:, if, && and
// ||) is read but not evaluated, so its domain errors do not count.
class MathParser {
 public:
  explicit MathParser(const std::string& text) : text_(text) {}

  double Parse() {
    double value = ParseConditional();
    SkipBlanks();
    if (pos_ < text_.size()) Fail("unexpected trailing chars at pos ");
    return value;
  }

 private:
  // Counts one level of nesting for the lifetime of a recursive step.
  class Level {
   public:
    explicit Level(MathParser& parser) : parser_(parser) {
      if (parser_.depth_ >= kMaxNesting) parser_.Fail("expression nested too deeply at pos ");
      ++parser_.depth_;
    }
    ~Level() { --parser_.depth_; }

   private:
    MathParser& parser_;
  };

  // Evaluates `parse` with evaluation switched off when `taken` is false.
  template <typename F>
  double Branch(bool taken, F parse) {
    const bool saved = live_;
    live_ = live_ && taken;
    double value = parse();
    live_ = saved;
    return value;
  }

  double ParseConditional() {
    const double condition = ParseOr();
    if (!Accept("?")) return condition;
    Level level(*this);
    const bool yes = condition != 0;
    const double a = Branch(yes, [&] { return ParseConditional(); });
    if (!Accept(":")) Fail("missing ':' at pos ");
    const double b = Branch(!yes, [&] { return ParseConditional(); });
    return yes ? a : b;
  }

  double ParseOr() {
    double value = ParseAnd();
    while (Accept("||")) {
      const bool left = value != 0;
      const double right = Branch(!left, [&] { return ParseAnd(); });
      value = Truth(left || right != 0);
    }
    return value;
  }

  double ParseAnd() {
    double value = ParseEquality();
    while (Accept("&&")) {
      const bool left = value != 0;
      const double right = Branch(left, [&] { return ParseEquality(); });
      value = Truth(left && right != 0);
    }
    return value;
  }

  double ParseEquality() {
    double value = ParseComparison();
    for (;;) {
      if (Accept("==")) {
        value = Truth(value == ParseComparison());
      } else if (Accept("!=")) {
        value = Truth(value != ParseComparison());
      } else {
        return value;
      }
    }
  }

  double ParseComparison() {
    double value = ParseSum();
    for (;;) {
      if (Accept("<=")) {
        value = Truth(value <= ParseSum());
      } else if (Accept(">=")) {
        value = Truth(value >= ParseSum());
      } else if (Accept("<")) {
        value = Truth(value < ParseSum());
      } else if (Accept(">")) {
        value = Truth(value > ParseSum());
      } else {
        return value;
      }
    }
  }

  double ParseSum() {
    double value = ParseProduct();
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      char op = text_[pos_];
      if (op != '+' && op != '-') break;
      ++pos_;
      double right = ParseProduct();
      value = op == '+' ? value + right : value - right;
    }
    return value;
  }

  double ParseProduct() {
    double value = ParseUnary();
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      char op = text_[pos_];
      if (op != '*' && op != '/' && op != '%') break;
      const size_t at = pos_;
      ++pos_;
      double right = ParseUnary();
      if (op == '*') {
        value = value * right;
      } else if (op == '/') {
        value = value / right;  // a division by zero gives an infinity, as it always has
      } else {
        if (live_ && right == 0) FailAt(at, "remainder of a division by zero at pos ");
        value = std::fmod(value, right);
      }
    }
    return value;
  }

  // Signs are read in a loop, so a long run of them costs no stack.
  double ParseUnary() {
    std::vector<char> signs;
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      const char c = text_[pos_];
      const bool notEqual = c == '!' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '=';
      if ((c != '+' && c != '-' && c != '!') || notEqual) break;
      // A sign written against a number is part of it, as it always was.
      if (c != '!' && pos_ + 1 < text_.size() && IsNumberChar(text_[pos_ + 1])) break;
      signs.push_back(c);
      ++pos_;
    }
    double value = ParsePower();
    for (auto it = signs.rbegin(); it != signs.rend(); ++it) {
      if (*it == '-') value = -value;
      if (*it == '!') value = Truth(value == 0);
    }
    return value;
  }

  double ParsePower() {
    SkipBlanks();
    // Only a number can begin with "-" here ("-2" written as one).
    const bool negated = pos_ < text_.size() && text_[pos_] == '-';
    double base = ParsePrimary();
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '^') return base;
    const size_t at = pos_;
    ++pos_;
    Level level(*this);
    const double exponent = ParseUnary();
    // "-2^2" is -(2^2) whether or not the sign touches the number.
    if (negated) base = -base;
    const double power = Checked("pow", {base, exponent}, std::pow(base, exponent), at);
    return negated ? -power : power;
  }

  double ParsePrimary() {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      Level level(*this);
      ++pos_;
      double value = ParseConditional();
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != ')') Fail("missing ')' at pos ");
      ++pos_;
      return value;
    }
    if (pos_ < text_.size() && IsNameStart(text_[pos_])) return ParseName();
    return ParseNumber();
  }

  double ParseNumber() {
    size_t start = pos_;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    size_t digitsStart = pos_;
    int dots = 0;
    while (pos_ < text_.size() && IsNumberChar(text_[pos_])) dots += text_[pos_++] == '.';
    if (pos_ == digitsStart) {
      pos_ = start;
      Fail("expected number at pos ");
    }
    // An exponent follows a number with at most one dot and a digit ("1e3",
    // "2.5E-2"); otherwise only the consumed span is converted, so "1.5.5"
    // reads as 1.5 and "." as 0, as they always have.
    if (dots <= 1 && pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      size_t p = pos_ + 1;
      if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
      if (p < text_.size() && IsDigit(text_[p])) {
        while (p < text_.size() && IsDigit(text_[p])) ++p;
        pos_ = p;
      }
    }
    std::string span = text_.substr(start, pos_ - start);
    return std::strtod(span.c_str(), nullptr);
  }

  double ParseName() {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    const std::string name = text_.substr(start, pos_ - start);
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '(') {
      if (name == "pi") return std::numbers::pi;
      FailAt(start, "unknown name '" + name + "' at pos ");
    }
    const MathFunction* function = FindMathFunction(name);
    if (!function) FailAt(start, "unknown function '" + name + "' at pos ");
    Level level(*this);
    ++pos_;
    std::vector<double> args;
    if (name == "if") {
      args.push_back(ParseConditional());
      const bool yes = args[0] != 0;
      ExpectComma(name, start);
      args.push_back(Branch(yes, [&] { return ParseConditional(); }));
      ExpectComma(name, start);
      args.push_back(Branch(!yes, [&] { return ParseConditional(); }));
    } else {
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] != ')') {
        args.push_back(ParseConditional());
        while (Accept(",")) args.push_back(ParseConditional());
      }
    }
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != ')') Fail("missing ')' at pos ");
    ++pos_;
    const int n = static_cast<int>(args.size());
    if (n < function->minArgs || (function->maxArgs >= 0 && n > function->maxArgs)) {
      FailAt(start, name + " takes " + function->arity + ", found " + std::to_string(n) +
                        " at pos ");
    }
    if (!live_) return 0;
    return Checked(name, args, function->apply(args), start);
  }

  void ExpectComma(const std::string& name, size_t start) {
    if (!Accept(",")) FailAt(start, name + " takes 3 arguments at pos ");
  }

  // Returns `result`, or fails naming the function when it turned usable
  // arguments into no number (sqrt(-1), asin(2), tan(90)).
  double Checked(const std::string& name, const std::vector<double>& args, double result,
                 size_t at) {
    if (!live_ || !std::isnan(result)) return result;
    for (double a : args) {
      if (std::isnan(a)) return result;
    }
    std::string list;
    for (double a : args) list += (list.empty() ? "" : ", ") + ShortNumber(a);
    FailAt(at, name + "(" + list + ") is undefined at pos ");
  }

  static std::string ShortNumber(double d) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", d);
    return buffer;
  }

  // Consumes `token` after blanks; a single "<", ">", "|", "&" or "!" is not
  // taken for the start of a longer one.
  bool Accept(const char* token) {
    SkipBlanks();
    const std::string t(token);
    if (text_.compare(pos_, t.size(), t) != 0) return false;
    if (t.size() == 1 && (t == "<" || t == ">") && pos_ + 1 < text_.size() &&
        text_[pos_ + 1] == '=') {
      return false;
    }
    pos_ += t.size();
    return true;
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  [[noreturn]] void Fail(const std::string& message) const { FailAt(pos_, message); }

  [[noreturn]] void FailAt(size_t at, const std::string& message) const {
    throw std::runtime_error(message + std::to_string(at));
  }

  const std::string& text_;
  size_t pos_ = 0;
  int depth_ = 0;
  bool live_ = true;
};

}  // namespace

bool TryEvalMath(const std::string& text, double& out) {
  try {
    out = MathParser(text).Parse();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

double EvalMath(const std::string& text) { return MathParser(text).Parse(); }

}  // namespace velamanifold
