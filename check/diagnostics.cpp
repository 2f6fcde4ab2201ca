#include "check/diagnostics.h"

#include <algorithm>
#include <exception>

#include "check/check_sweep.h"
#include "model/json_parse.h"
#include "params/parameter_values.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Returns the edit distance of a and b, a swap of neighbours counting as one
// edit ("heigth" is one edit from "height").
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// Returns the 1-based line and column of byte `offset` of `text`.
std::pair<int, int> LineAndColumn(const std::string& text, size_t offset) {
  offset = std::min(offset, text.size());
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return {line, static_cast<int>(offset - lineStart) + 1};
}

// Returns the library's parse message without its "[json.exception...] " tag.
std::string PlainParseMessage(const std::string& what) {
  const size_t close = what.find("] ");
  return what.rfind("[json.exception", 0) == 0 && close != std::string::npos
             ? what.substr(close + 2)
             : what;
}

}  // namespace

std::string PointerToken(const std::string& key) {
  std::string token;
  token.reserve(key.size());
  for (char c : key) {
    if (c == '~') {
      token += "~0";
    } else if (c == '/') {
      token += "~1";
    } else {
      token += c;
    }
  }
  return token;
}

std::string NearestName(const std::string& name, const std::vector<std::string>& names) {
  // Long names tolerate more slips; a two-letter name only one.
  const size_t allowed = std::max<size_t>(1, std::min<size_t>(3, name.size() / 3));
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string& candidate : names) {
    const size_t d = EditDistance(name, candidate);
    if (d < bestDistance) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

std::string DidYouMean(const std::string& name, const std::vector<std::string>& names) {
  const std::string nearest = NearestName(name, names);
  return nearest.empty() ? "" : "; did you mean \"" + nearest + "\"?";
}

std::vector<Diagnostic> CheckModel(const std::string& text, const CheckOptions& options) {
  Diagnostics out;
  json document;
  try {
    document = ParseJson(text);
  } catch (const json::parse_error& e) {
    const auto [line, column] = LineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0);
    out.Add({"", Severity::kError, "not JSON: " + PlainParseMessage(e.what()), line, column});
    return out.Items();
  }
  std::string built = text;
  if (!options.parameters.empty()) {
    try {
      SetParameterValues(document, options.parameters);
    } catch (const UnknownParameterError& e) {
      out.Error("", e.what());
      return out.Items();
    }
    built = document.dump();
  }
  try {
    CheckDocumentShape(document, "", 0, out);
    if (document.is_object()) CheckDocumentBuild(built, options.segments, out);
    if (document.is_object() && options.sweep) CheckSweep(document, options.segments, out);
  } catch (const std::exception& e) {
    // Whatever was found so far still stands; the rest could not be looked at.
    out.Error("", std::string("the check stopped early: ") + e.what());
  }
  return out.Items();
}

}  // namespace velamanifold
