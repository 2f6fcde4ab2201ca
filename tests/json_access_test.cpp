#include <gtest/gtest.h>

#include <tuple>

#include "model/json_access.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using nlohmann::json;

// Defaults: Jb true, Ji 7, Jd 2.5, Js "def".
TEST(JsonAccess, CoercionTable) {
  const std::tuple<json, bool, int, double, std::string> cases[] = {
      {nullptr, true, 7, 2.5, "def"}, {0.0, false, 0, 0.0, "def"},
      {-7.9, true, -7, -7.9, "def"},
      {"1", true, 1, 1.0, "1"},
      {"=12.5", false, 7, 12.5, "=12.5"},
      {"  12.5mm", false, 12, 12.5, "  12.5mm"},
      {"99999999999", false, 7, 99999999999.0, "99999999999"},
      {"1e999", false, 1, 2.5, "1e999"},
      {"1e-400", false, 1, 0.0, "1e-400"},
      {json::array({1}), true, 7, 2.5, "def"},
      {int64_t{5000000000}, true, 7, 5e9, "def"},
      {1e300, true, 7, 1e300, "def"},
  };
  for (const auto& [value, b, i, d, s] : cases) {
    EXPECT_EQ(std::make_tuple(Jb(value, true), Ji(value, 7), Jd(value, 2.5), Js(value, "def")),
              std::make_tuple(b, i, d, s)) << value;
  }
}

TEST(JsonAccess, JobjAndFindObjectFallBackToEmptyValues) {
  EXPECT_EQ(Jobj(json::array({1, 2}), "x"), json::object());
  EXPECT_EQ(Js(json{{"size", {{"x", 4}}}}, "size", "d"), "d");
  json doc = {{"objects", {{{"vid", 5}, {"n", 0}}, {{"vid", "a"}, {"n", 1}},
                           {{"vid", "a"}, {"n", 2}}, {{"vid", ""}, {"n", 3}}}}};
  EXPECT_EQ(FindObject(doc, "a")["n"], 1);
  for (const char* id : {"5", "", "A"}) EXPECT_TRUE(FindObject(doc, id).is_null()) << id;
  EXPECT_TRUE(FindObject(json::array(), "a").is_null());
  // "objects" given as an object: its member values are the entries.
  EXPECT_FALSE(FindObject(json{{"objects", {{"k", {{"vid", "b"}}}}}}, "b").is_null());
}

}  // namespace
}  // namespace velamanifold
