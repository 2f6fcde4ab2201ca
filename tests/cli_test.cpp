#include <gtest/gtest.h>

#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/base64.h"
#include "cli/json_string.h"
#include "cli/request.h"

namespace velamanifold {
namespace {

TEST(Base64, PaddingAndLength) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00", 3), "//4A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.in.data(), c.in.size()), c.out) << c.in;
  }
}

// Answers written by hand must be byte for byte what the JSON library writes,
// and must fail where it fails (text that is not UTF-8).
TEST(JsonString, WritesWhatTheLibraryWrites) {
  std::vector<std::string> texts = {
      "", "<vertex x=\"1\"/>", "a\\b/c\x7f", std::string("\0\x01\b\t\n\x0b\f\r\x1f", 9),
      "W\xc3\xbcrfel \xe2\x82\xac \xf0\x9f\x98\x80", "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf4\x8f\xbf\xbf",
      // not UTF-8: overlong forms, surrogates, beyond U+10FFFF, stray and
      // missing continuation bytes
      "\xc0\x80", "\xe0\x9f\xbf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80",
      "a\x80", "\xc3", "\xe2\x82", "\xe2\x28\xa1", "ok\xff"};
  std::mt19937 random(11);
  const char pieces[] = {'"', '\\', '\n', '\x01', 'a', '\x7f', '\x80', '\xbf', '\xc3', '\xe2', '\xf0', '\xff'};
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (int k = random() % 8; k > 0; --k) text += pieces[random() % sizeof pieces];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    std::string expected = "{", got = "{";
    try {
      expected += nlohmann::json(text).dump();
    } catch (const nlohmann::json::type_error& e) {
      expected = e.what();
    }
    try {
      AppendJsonString(got, text);
    } catch (const nlohmann::json::type_error& e) {
      got = e.what();
    }
    ASSERT_EQ(got, expected) << testing::PrintToString(text);
  }
}

TEST(Request, MalformedRequestsThrowWithTheLibraryMessage) {
  const struct {
    const char* op;
    const char* request;
    const char* message;
  } cases[] = {
      {"build", "{\"vid\":\"a\"}", "key 'jsonStr' not found"},
      {"build", "{\"jsonStr\":\"{}\"}", "key 'vid' not found"},
      {"build", "{\"jsonStr\":5,\"vid\":\"a\"}", "type must be string, but is number"},
      {"build", "{\"jsonStr\":\"{}\",\"vid\":\"a\",\"wantColors\":\"yes\"}",
       "type must be boolean, but is string"},
      {"build_xml", "{\"jsonStr\":\"{}\",\"vid\":1}", "type must be string, but is number"},
      {"multi_xml", "{}", "key 'partsJson' not found"},
      {"cross_section", "[]", "cannot use at() with array"},
      {"build", "{\"jsonStr\":\"{}\",\"vid\":\"a\",\"segments\":1e12}",
       "exceeds the limit of 1024"},
  };
  for (const auto& c : cases) {
    try {
      AnswerRequest(c.op, c.request);
      ADD_FAILURE() << c.request << " did not throw";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.request << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace velamanifold
