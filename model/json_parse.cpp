#include "model/json_parse.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace velamanifold {

namespace {

using nlohmann::json;

// String values at least this long are taken out of the text before the JSON
// library sees it: a model document carries its attachments as Base64 in a
// string inside the request's string, and the library's lexer builds every
// string a byte at a time.
constexpr size_t kLongString = 4096;

// Returns true when one of the eight bytes of `word` is a quote, a backslash,
// a control byte or not ASCII: the bytes that end a run of plain text.
inline bool HasSpecialByte(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  const uint64_t quote = word ^ (kOnes * '"');
  const uint64_t backslash = word ^ (kOnes * '\\');
  const uint64_t zeroQuote = (quote - kOnes) & ~quote;
  const uint64_t zeroBackslash = (backslash - kOnes) & ~backslash;
  const uint64_t control = (word - kOnes * 0x20) & ~word;
  return ((zeroQuote | zeroBackslash | control | word) & kHigh) != 0;
}

// A string literal found by the scan: where its body lies and whether the
// body is plain (printable ASCII and two-character escapes only).
struct Literal {
  size_t begin = 0;  // first byte of the body
  size_t end = 0;    // the closing quote
  bool plain = true;
  bool hasEscape = false;
};

// Returns the literal whose opening quote is at `open`, or end = npos when
// the text ends inside it.
Literal ScanLiteral(const std::string& text, size_t open) {
  Literal literal;
  literal.begin = open + 1;
  const char* data = text.data();
  const size_t size = text.size();
  size_t i = literal.begin;
  while (i < size) {
    while (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, data + i, 8);
      if (HasSpecialByte(word)) break;
      i += 8;
    }
    if (i >= size) break;
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '"') {
      literal.end = i;
      return literal;
    }
    if (c == '\\') {
      literal.hasEscape = true;
      if (i + 1 >= size) break;
      // \u escapes stay with the JSON library, which knows surrogates.
      if (!std::strchr("\"\\/bfnrt", data[i + 1]) || data[i + 1] == '\0') literal.plain = false;
      i += 2;
      continue;
    }
    if (c < 0x20 || c >= 0x80) literal.plain = false;
    ++i;
  }
  literal.end = std::string::npos;
  return literal;
}

// Returns the body of a plain literal with its escapes resolved.
std::string DecodePlain(const std::string& text, const Literal& literal) {
  if (!literal.hasEscape) return text.substr(literal.begin, literal.end - literal.begin);
  std::string out;
  out.reserve(literal.end - literal.begin);
  const char* p = text.data() + literal.begin;
  const char* end = text.data() + literal.end;
  while (p < end) {
    const char* slash = static_cast<const char*>(std::memchr(p, '\\', end - p));
    if (slash == nullptr) slash = end;
    out.append(p, slash);
    if (slash == end) break;
    switch (slash[1]) {
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      default: out += slash[1];  // '"', '\\' or '/'
    }
    p = slash + 2;
  }
  return out;
}

// What one pass over the text finds: where nesting first gets too deep, and
// the long plain string values, numbered in the order they appear among all
// string values (keys are not values).
struct Scan {
  size_t tooDeepAt = std::string::npos;
  std::vector<std::pair<size_t, Literal>> longValues;
};

Scan ScanText(const std::string& text, int depthLimit) {
  Scan scan;
  int depth = 0;
  size_t valueCount = 0;
  const size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    const char c = text[i];
    if (c == '"') {
      Literal literal = ScanLiteral(text, i);
      if (literal.end == std::string::npos) break;  // malformed: the parser says so
      i = literal.end;
      size_t next = i + 1;
      while (next < size && std::strchr(" \t\r\n", text[next]) && text[next] != '\0') ++next;
      if (next < size && text[next] == ':') continue;  // a key
      if (literal.plain && literal.end - literal.begin >= kLongString) {
        scan.longValues.emplace_back(valueCount, literal);
      }
      ++valueCount;
    } else if (c == '[' || c == '{') {
      if (++depth > depthLimit) {
        scan.tooDeepAt = i;
        return scan;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return scan;
}

}  // namespace

nlohmann::json ParseJson(const std::string& text) {
  Scan scan = ScanText(text, kMaxJsonDepth);
  if (scan.tooDeepAt != std::string::npos) {
    throw json::parse_error::create(
        101, scan.tooDeepAt + 1,
        "syntax error while parsing value - nesting deeper than " +
            std::to_string(kMaxJsonDepth) + " levels",
        nullptr);
  }
  if (scan.longValues.empty()) return json::parse(text, nullptr, true, false);

  // Parse the text with the long bodies cut out, then put each decoded body
  // back in place of its empty string as the parser meets it.
  std::string reduced;
  std::vector<std::string> bodies;
  size_t from = 0;
  for (const auto& [index, literal] : scan.longValues) {
    reduced.append(text, from, literal.begin - from);
    bodies.push_back(DecodePlain(text, literal));
    from = literal.end;
  }
  reduced.append(text, from, std::string::npos);

  size_t valueIndex = 0;
  size_t next = 0;
  auto restore = [&](int, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::value && parsed.is_string()) {
      if (next < bodies.size() && scan.longValues[next].first == valueIndex) {
        parsed = std::move(bodies[next++]);
      }
      ++valueIndex;
    }
    return true;
  };
  try {
    return json::parse(reduced, restore, true, false);
  } catch (const json::parse_error&) {
    // Report the error where it stands in the text as given.
    return json::parse(text, nullptr, true, false);
  }
}

}  // namespace velamanifold
