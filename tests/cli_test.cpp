#include <gtest/gtest.h>

#include <string>

#include "cli/base64.h"
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
