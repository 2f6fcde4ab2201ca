#include "pipeline/json_parse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velamanifold {
namespace {

using nlohmann::json;

// A text long enough to be taken out of the document before parsing.
std::string Long(const std::string& piece, size_t count = 2000) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// Long string values are parsed on a side path; whatever the text holds, the
// value must be the one the JSON library gives for the whole text.
TEST(ParseJson, LongStringsGiveTheLibrarysValue) {
  const std::string base64 = Long("QUJD");
  const std::vector<std::string> texts = {
      "\"" + base64 + "\"",
      "{\"content\":\"" + base64 + "\",\"vid\":\"a\"}",
      "{\"a\":[\"x\",\"" + base64 + "\",\"y\",\"" + base64 + "z\"],\"b\":\"" + base64 + "\"}",
      // escapes the side path resolves itself
      "[\"" + Long("\\\"q\\\\ \\/ \\b\\f\\n\\r\\t") + "\"]",
      // a model document inside a request string, attachment inside that
      json{{"jsonStr", json{{"objects", json::array()}, {"content", base64}}.dump()},
           {"vid", "m"}}.dump(),
      // left to the library: \u escapes, text beyond ASCII, long keys
      "[\"" + Long("\\u00e9\\ud83d\\ude00") + "\"]",
      "[\"" + Long("\xc3\xa9") + "\", \"" + base64 + "\"]",
      "{\"" + base64 + "\" : \"" + base64 + "\"}",
      "{\"k\"\t\n :\"" + base64 + "\"}",
      "[\"" + base64 + "\" ,{\"" + base64 + "\":1}, \"" + base64 + "\"]",
      // duplicate keys keep the library's choice
      "{\"a\":\"" + base64 + "\",\"a\":\"" + base64 + "x\"}",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(ParseJson(text), json::parse(text)) << text.substr(0, 80);
  }
}

// Malformed texts fail with the library's own message, offsets counted in
// the text as given, even when long strings were cut out first.
TEST(ParseJson, ErrorsAfterLongStringsKeepTheirOffsets) {
  const std::string base64 = Long("QUJD");
  const std::vector<std::string> texts = {
      "{\"a\":\"" + base64 + "\",}",
      "[\"" + base64 + "\" \"" + base64 + "\"]",
      "[\"" + base64 + "\", tru]",
      "[\"" + base64 + "\", \"" + Long("\x01") + "\"]",
      "[\"" + base64 + "\", \"" + Long("\xff") + "\"]",
      "[\"" + base64 + "\", \"\\x" + base64 + "\"]",
      "[\"" + base64,
      "[\"" + base64 + "\\",
      "{\"a\":\"" + base64 + "\"",
  };
  for (const std::string& text : texts) {
    std::string expected;
    try {
      json parsed = json::parse(text);
    } catch (const json::parse_error& e) {
      expected = e.what();
    }
    ASSERT_FALSE(expected.empty());
    try {
      ParseJson(text);
      ADD_FAILURE() << "parsed: " << text.substr(0, 80);
    } catch (const json::parse_error& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
}

TEST(ParseJson, NestingBeyondTheBoundIsASyntaxError) {
  const std::string deep = std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']');
  const std::string atBound = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  EXPECT_THROW(ParseJson(deep), json::parse_error);
  EXPECT_NO_THROW(ParseJson(atBound));
  // brackets inside strings, long or short, do not nest
  EXPECT_NO_THROW(ParseJson("[\"" + std::string(5000, '[') + "\",\"[[[\"]"));
}

}  // namespace
}  // namespace velamanifold
