#include "params/math_parser.h"

#include <cstdlib>
#include <stdexcept>

namespace velamanifold {

namespace {

// Parenthesis levels accepted before a text is refused; each level costs three
// stack frames, so this keeps hostile input far from the stack limit.
constexpr int kMaxNesting = 200;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNumberChar(char c) { return (c >= '0' && c <= '9') || c == '.'; }

// Recursive-descent evaluator over one text; positions are byte offsets.
class MathParser {
 public:
  explicit MathParser(std::string text) : text_(std::move(text)) {}

  double Parse() {
    double value = ParseExpr();
    SkipBlanks();
    if (pos_ < text_.size()) Fail("unexpected trailing chars at pos ");
    return value;
  }

  double ParseExpr() {
    double value = ParseTerm();
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      char op = text_[pos_];
      if (op != '+' && op != '-') break;
      ++pos_;
      double right = ParseTerm();
      value = op == '+' ? value + right : value - right;
    }
    return value;
  }

  double ParseTerm() {
    double value = ParseFactor();
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) break;
      char op = text_[pos_];
      if (op != '*' && op != '/') break;
      ++pos_;
      double right = ParseFactor();
      value = op == '*' ? value * right : value / right;
    }
    return value;
  }

  double ParseFactor() {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      if (depth_ >= kMaxNesting) Fail("expression nested too deeply at pos ");
      ++pos_;
      ++depth_;
      double value = ParseExpr();
      --depth_;
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != ')') Fail("missing ')' at pos ");
      ++pos_;
      return value;
    }
    size_t start = pos_;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    size_t digitsStart = pos_;
    while (pos_ < text_.size() && IsNumberChar(text_[pos_])) ++pos_;
    if (pos_ == digitsStart) {
      pos_ = start;
      Fail("expected number at pos ");
    }
    // Only the consumed span is converted, so "1.5.5" reads as 1.5 and "." as 0.
    std::string span = text_.substr(start, pos_ - start);
    return std::strtod(span.c_str(), nullptr);
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  [[noreturn]] void Fail(const char* message) const {
    throw std::runtime_error(message + std::to_string(pos_));
  }

  std::string text_;
  size_t pos_ = 0;
  int depth_ = 0;
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

double EvalMath(const std::string& text) { return MathParser(text).Parse(); }

}  // namespace velamanifold
