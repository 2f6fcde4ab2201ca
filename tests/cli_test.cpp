#include <gtest/gtest.h>

#include <string>

#include "cli/base64.h"
#include "cli/request.h"
#include "pipeline/limits.h"
#include "tests/test_util.h"

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

TEST(Base64, EveryByteValueRoundTripsThroughTheAlphabet) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  std::string text = Base64Encode(bytes.data(), bytes.size());
  ASSERT_EQ(text.size(), 344u);
  for (char c : text) {
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=');
  }
}

TEST(Request, ProbeAndUnknownOperation) {
  EXPECT_EQ(ProbeAnswer(), "{\"ok\":true,\"version\":\"1.0.0\"}\n");
  EXPECT_EQ(AnswerRequest("probe", "not json").text, ProbeAnswer());
  Answer unknown = AnswerRequest("nope", "{}");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_TRUE(unknown.text.empty());
  EXPECT_THROW(AnswerRequest("nope", "{"), std::exception);
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

TEST(Request, EmptyAnswers) {
  const std::string empty = "{\"empty\":true}\n";
  EXPECT_EQ(AnswerRequest("build", R"({"jsonStr":"{","vid":"_all_"})").text, empty);
  EXPECT_EQ(AnswerRequest("build_xml", R"({"jsonStr":"{}","vid":"x"})").text, empty);
  EXPECT_EQ(AnswerRequest("cross_section", R"({"jsonStr":"[]","vid":"x"})").text, empty);
  EXPECT_EQ(AnswerRequest("multi_xml", R"({"partsJson":"{}"})").text, "{\"xml\":\"\"}\n");
  EXPECT_EQ(AnswerRequest("multi_xml", R"({"partsJson":"{}","parts":[[""],[5],"a",[]]})").text,
            "{\"xml\":\"\"}\n");
}

TEST(Request, NestingBeyondTheBoundIsAParseError) {
  std::string deep(5000, '[');
  try {
    AnswerRequest("build", deep);
    ADD_FAILURE() << "deep request did not throw";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("parse error"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace velamanifold
