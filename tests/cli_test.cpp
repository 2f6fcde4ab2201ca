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
  const char* encoded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (size_t n = 0; n <= 6; ++n) EXPECT_EQ(Base64Encode("foobar", n), encoded[n]);
  EXPECT_EQ(Base64Encode("\xff\xfe\x00", 3), "//4A");
}

// Answers written by hand must be byte for byte what the JSON library writes,
// and must fail where it fails (text that is not UTF-8).
TEST(JsonString, WritesWhatTheLibraryWrites) {
  std::vector<std::string> texts = {
      "", "<vertex x=\"1\"/>", "a\\b/c\x7f", std::string("\0\x01\b\t\n\x0b\f\r\x1f", 9),
      "\xc3\xbc \xe2\x82\xac \xf0\x9f\x98\x80", "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf4\x8f\xbf\xbf",
      // not UTF-8: overlong, surrogate, beyond U+10FFFF, stray or missing continuation bytes
      "\xc0\x80", "\xe0\x9f\xbf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80",
      "a\x80", "\xc3", "\xe2\x82", "\xe2\x28\xa1", "ok\xff"};
  std::mt19937 random(11);
  const char pieces[] = "\"\\\n\x01" "a\x7f\x80\xbf\xc3\xe2\xf0\xff";
  for (int i = 0; i < 3000; ++i) {
    std::string& text = texts.emplace_back();
    for (int k = random() % 8; k > 0; --k) text += pieces[random() % (sizeof pieces - 1)];
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
  const char* cases[][3] = {  // op, request, part of the message
      {"build", R"({"vid":"a"})", "key 'jsonStr' not found"},
      {"build", R"({"jsonStr":"{}"})", "key 'vid' not found"},
      {"build", R"({"jsonStr":"{}","vid":"a","wantColors":1})", "type must be boolean, but is"},
      {"build_xml", R"({"jsonStr":"{}","vid":1})", "type must be string, but is number"},
      {"multi_xml", "{}", "key 'partsJson' not found"},
      {"cross_section", "[]", "cannot use at() with array"},
      {"build", R"({"jsonStr":"{}","vid":"a","segments":1e12})", "exceeds the limit of 1024"},
  };
  for (const auto& [op, request, message] : cases) {
    try {
      AnswerRequest(op, request);
      ADD_FAILURE() << request << " did not throw";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace velamanifold
