#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pipeline/json_access.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using nlohmann::json;

struct Coercion {
  json value;
  bool b;
  int i;
  double d;
  std::string s;
};

// Defaults: Jb true, Ji 7, Jd 2.5, Js "def".
TEST(JsonAccess, CoercionTable) {
  const Coercion cases[] = {
      {nullptr, true, 7, 2.5, "def"},
      {true, true, 7, 1.0, "def"},
      {false, false, 7, 0.0, "def"},
      {0.0, false, 0, 0.0, "def"},
      {2, true, 2, 2.0, "def"},
      {7.9, true, 7, 7.9, "def"},
      {-7.9, true, -7, -7.9, "def"},
      {"yes", false, 7, 2.5, "yes"},
      {"1", true, 1, 1.0, "1"},
      {"true", true, 7, 2.5, "true"},
      {"=12.5", false, 7, 12.5, "=12.5"},
      {"12.5mm", false, 12, 12.5, "12.5mm"},
      {"  8px", false, 8, 8.0, "  8px"},
      {"=7", false, 7, 7.0, "=7"},
      {"=", false, 7, 2.5, "="},
      {"", false, 7, 2.5, ""},
      {"0x10", false, 0, 16.0, "0x10"},
      {"99999999999", false, 7, 99999999999.0, "99999999999"},
      {"1e999", false, 1, 2.5, "1e999"},
      {json::array({1}), true, 7, 2.5, "def"},
      {json::object(), true, 7, 2.5, "def"},
      {json::binary({1, 2}), true, 7, 2.5, "def"},
      {int64_t{5000000000}, true, 7, 5e9, "def"},
      {1e300, true, 7, 1e300, "def"},
  };
  for (const Coercion& c : cases) {
    SCOPED_TRACE(c.value.dump());
    EXPECT_EQ(Jb(c.value, true), c.b);
    EXPECT_EQ(Ji(c.value, 7), c.i);
    EXPECT_DOUBLE_EQ(Jd(c.value, 2.5), c.d);
    EXPECT_EQ(Js(c.value, "def"), c.s);
  }
}

TEST(JsonAccess, NumericSpellingsOfStrtod) {
  EXPECT_TRUE(std::isinf(Jd(json("inf"), 0)));
  EXPECT_TRUE(std::isnan(Jd(json("nan"), 0)));
  EXPECT_DOUBLE_EQ(Jd(json("0x1p4"), 0), 16.0);
  EXPECT_DOUBLE_EQ(Jd(json("1e-400"), 3), 0.0);  // underflow still reads as a number
}

TEST(JsonAccess, JobjFallsBackToSharedEmptyObject) {
  json obj = {{"size", {{"x", 4}}}};
  EXPECT_EQ(Jobj(obj, "size"), json({{"x", 4}}));
  const json& missing = Jobj(obj, "move");
  EXPECT_TRUE(missing.is_object());
  EXPECT_TRUE(missing.empty());
  EXPECT_EQ(&Jobj(json::array({1, 2}), "x"), &missing);
  EXPECT_EQ(&Jobj(missing, "y"), &missing);
  EXPECT_EQ(Js(obj, "size", "d"), "d");
}

TEST(JsonAccess, FindObjectFirstMatchByExactId) {
  json doc = {{"objects",
               {{{"vid", 5}, {"n", 0}},
                {{"vid", "a"}, {"n", 1}},
                {{"vid", "a"}, {"n", 2}},
                {{"vid", ""}, {"n", 3}}}}};
  EXPECT_EQ(FindObject(doc, "a")["n"], 1);
  EXPECT_TRUE(FindObject(doc, "5").is_null());
  EXPECT_TRUE(FindObject(doc, "").is_null());
  EXPECT_TRUE(FindObject(doc, "A").is_null());
  EXPECT_TRUE(FindObject(json::object(), "a").is_null());
  EXPECT_TRUE(FindObject(json::array(), "a").is_null());
  // "objects" given as an object: its member values are the entries.
  json keyed = {{"objects", {{"k", {{"vid", "b"}}}}}};
  EXPECT_FALSE(FindObject(keyed, "b").is_null());
}

TEST(JsonAccess, PlanarTypeNames) {
  for (const char* t : {"rectangle", "circle", "triangle2d", "merge2d", "slice"}) {
    EXPECT_TRUE(Is2DObjectType(t)) << t;
  }
  for (const char* t : {"Rectangle", "text", "svg", "cube", ""}) {
    EXPECT_FALSE(Is2DObjectType(t)) << t;
  }
}

}  // namespace
}  // namespace velamanifold
