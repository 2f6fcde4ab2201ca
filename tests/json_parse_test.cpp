#include "model/json_parse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velamanifold {
namespace {

using nlohmann::json;

// Returns the text of the value `parse` gives, or the message of its parse error.
template <typename Parse>
std::string Outcome(Parse parse, const std::string& text) {
  try {
    return parse(text).dump();
  } catch (const json::parse_error& e) {
    return e.what();
  }
}

// Long string values are cut out of the text and parsed on a side path;
// whatever the text holds, the value (or the error, with its offset in the
// text as given) must be the one the JSON library gives for the whole text.
TEST(ParseJson, LongStringsGiveTheLibrarysValueOrError) {
  auto repeat = [](std::string text) {
    for (int i = 0; i < 12; ++i) text += text;
    return text;
  };
  const std::string b = repeat("QUJD");
  const std::vector<std::string> texts = {
      "\"" + b + "\"", "{\"a\":[\"x\",\"" + b + "\",\"y\",\"" + b + "z\"],\"b\":\"" + b + "\"}",
      // escapes the side path resolves itself
      "[\"" + repeat("\\\"q\\\\ \\/ \\b\\f\\n\\r\\t") + "\"]",
      // a model document inside a request string, attachment inside that
      json{{"jsonStr", json{{"content", b}}.dump()}, {"vid", "m"}}.dump(),
      // left to the library: \u escapes, text beyond ASCII, long keys
      "[\"" + repeat("\\u00e9\\ud83d\\ude00") + "\", \"" + repeat("\xc3\xa9") + "\"]",
      "{\"" + b + "\" : \"" + b + "\",\"k\"\t\n :\"" + b + "\", \"o\": {\"" + b + "\":1}}",
      "[\"" + b + "\" ,{\"" + b + "\":1}, \"" + b + "\"]",
      "{\"a\":\"" + b + "\",\"a\":\"" + b + "x\"}",  // duplicate keys
      // malformed after or inside long strings
      "{\"a\":\"" + b + "\",}", "[\"" + b + "\" \"" + b + "\"]", "[\"" + b + "\", tru]",
      "[\"" + b + "\", \"" + repeat("\x01") + "\"]", "[\"" + b + "\", \"" + repeat("\xff") + "\"]",
      "[\"" + b + "\", \"\\x" + b + "\"]", "[\"" + b, "[\"" + b + "\\", "{\"a\":\"" + b + "\"",
  };
  auto library = [](const std::string& text) { return json::parse(text); };
  for (const std::string& text : texts) {
    EXPECT_EQ(Outcome(ParseJson, text), Outcome(library, text)) << text.substr(0, 80);
  }
}

TEST(ParseJson, NestingBeyondTheBoundIsASyntaxError) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_THROW(ParseJson(nested(kMaxJsonDepth + 1)), json::parse_error);
  EXPECT_NO_THROW(ParseJson(nested(kMaxJsonDepth)));
  // brackets inside strings, long or short, do not nest
  EXPECT_NO_THROW(ParseJson("[\"" + std::string(5000, '[') + "\",\"[[[\"]"));
}

}  // namespace
}  // namespace velamanifold
