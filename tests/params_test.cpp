#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "params/dropdowns.h"
#include "params/math_parser.h"
#include "params/part_values.h"
#include "params/templates.h"
#include "tests/test_util.h"

namespace velamanifold {
namespace {

using json = nlohmann::json;
using testing::Doc;

// A model document of the listed objects (a single object stays one element).
json DocOf(std::initializer_list<json> objects) {
  json list = json::array();
  for (const auto& object : objects) list.push_back(object);
  return Doc(list);
}

json Param(const std::string& vid, const json& value) {
  return {{"vid", vid}, {"type", "parameter"}, {"value", {{"value", value}}}};
}

std::string Name(const char* prefix, int i) {
  std::string name(prefix);
  name += std::to_string(i);
  return name;
}

// Returns the string an expression solves to against the given objects.
std::string Solve(const json& objects, const std::string& expression) {
  json out = SolveExpression(Doc(objects), json(expression));
  EXPECT_TRUE(out.is_string()) << expression;
  return out.is_string() ? out.get<std::string>() : "";
}

TEST(ParamsMath, Values) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"2+3*4", 14},   {"(2+3)*4", 20}, {"2-3-4", -5}, {"8/2/2", 2},    {" 7 ", 7},
      {"1.5.5", 1.5},  {".", 0},        {".5", 0.5},   {"5.", 5},       {"-5", -5},
      {"+5", 5},       {"2*-3", -6},    {"-.", 0},     {"\t1\n+\r2", 3}, {"((((1))))", 1},
      {"4/8", 0.5},    {"1 - -2", 3},
  };
  for (const auto& c : cases) {
    double out = 0;
    EXPECT_TRUE(TryEvalMath(c.text, out)) << c.text;
    EXPECT_DOUBLE_EQ(out, c.value) << c.text;
  }
  double out = 0;
  ASSERT_TRUE(TryEvalMath("1/0", out));
  EXPECT_TRUE(std::isinf(out) && out > 0);
  ASSERT_TRUE(TryEvalMath("0/0", out));
  EXPECT_TRUE(std::isnan(out));
}

TEST(ParamsMath, ErrorMessages) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "expected number at pos 0"},
      {"   ", "expected number at pos 3"},
      {"2,5", "unexpected trailing chars at pos 1"},
      {"3 4", "unexpected trailing chars at pos 2"},
      {"(1+2", "missing ')' at pos 4"},
      {"(1+2 ", "missing ')' at pos 5"},
      {"-(5)", "expected number at pos 0"},
      {"- 5", "expected number at pos 0"},
      {"--5", "expected number at pos 0"},
      {"2*", "expected number at pos 2"},
      {"2* -", "expected number at pos 3"},
      {"1e5", "unexpected trailing chars at pos 1"},
      {")", "expected number at pos 0"},
      {"1+2)", "unexpected trailing chars at pos 3"},
  };
  for (const auto& c : cases) {
    try {
      EvalMath(c.text);
      ADD_FAILURE() << "no error for '" << c.text << "'";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.text;
    }
    double out = 42;
    EXPECT_FALSE(TryEvalMath(c.text, out)) << c.text;
    EXPECT_EQ(out, 42) << "out changed for '" << c.text << "'";
  }
}

TEST(ParamsMath, DeepNestingIsAnErrorNotACrash) {
  std::string ok = std::string(150, '(') + "1" + std::string(150, ')');
  EXPECT_EQ(EvalMath(ok), 1);
  for (size_t n : {201u, 100000u}) {
    std::string deep = std::string(n, '(') + "1" + std::string(n, ')');
    EXPECT_THROW(EvalMath(deep), std::runtime_error) << n;
    double out = 0;
    EXPECT_FALSE(TryEvalMath(deep, out));
  }
  // A template holding such a text keeps it as text.
  std::string deep = "=" + std::string(50000, '(');
  EXPECT_EQ(Solve(json::array(), deep), std::string(50000, '('));
}

TEST(ParamsTemplates, NumberToJsonString) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {40, "40"},
      {-3, "-3"},
      {-0.0, "0"},
      {1.5, "1.5"},
      {1.0 / 3, "0.333333333333333"},
      {1e15, "1e+15"},
      {999999999999999, "999999999999999"},
      {-1e15, "-1e+15"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberToJsonString(c.value), c.text) << c.text;
  EXPECT_EQ(NumberToJsonString(std::nan("")), "nan");
}

TEST(ParamsTemplates, LiteralsAndArithmetic) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"=10", "10"},   {"= 2*(3+4)", "14"}, {"=7/2", "3.5"},   {"=1/3", "0.333333333333333"},
      {"=", ""},       {"=   ", ""},        {"=2,5", "2,5"},   {"=1e3", "1e3"},
      {"= \t\n\r1+1 ", "2"}, {"=a+1", "a+1"}, {"=1/0", "inf"}, {"=(1", "(1"},
      {"==1", "=1"},   {"=\v1", "\v1"},     {"=1 \xc3\xa9", "1 \xc3\xa9"},
  };
  for (const auto& c : cases) EXPECT_EQ(Solve(json::array(), c.in), c.out) << c.in;

  // Non-expressions come back unchanged, whatever their kind.
  for (const json& literal : {json("abc{{w}}"), json(""), json(5), json(2.5), json(true),
                              json(nullptr), json(" =1")}) {
    EXPECT_EQ(SolveExpression(DocOf({Param("w", 1)}), literal), literal) << literal.dump();
  }
}

TEST(ParamsTemplates, Placeholders) {
  json objects = {
      Param("w", 12.5),
      Param("e", "=3+4"),
      Param("ee", "==3+4"),
      Param("p", 123.456),
      Param("t", true),
      Param("f", false),
      Param("n", nullptr),
      Param("o", {{"a", 1}}),
      Param("a", json::array({1})),
      Param("red", "red"),
      Param("mm", "12mm"),
      Param("big", 1e20),
      Param("tenth", 0.1),
      Param("chain", "={{w}}*2"),
      {{"vid", "nov"}, {"type", "parameter"}, {"value", {{"other", 1}}}},
      {{"vid", "np"}, {"type", "cube"}, {"value", {{"value", 1}}}},
      {{"vid", "dup"}, {"type", "parameter"}, {"value", 5}},
      Param("dup", 7),
      Param("dup", 9),
      Param(" sp", 4),
      {{"type", "parameter"}, {"value", {{"value", 8}}}},
  };
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"={{w}}*2", "25"},
      {"={{e}}*2", "14"},
      {"={{ee}}*2", "14"},
      {"={{p|2}}", "1.2e+02"},
      {"={{p|0}}", "1e+02"},
      {"={{p|-1}}", "123.456"},
      {"={{p| +4xyz}}", "123.5"},
      {"={{p|x}}", "1e+02"},
      {"=x{{p|99999999999999999999}}", "x123.4560000000000030695446184836328029632568359375"},
      {"={{tenth}}", "0.1"},
      {"=x{{big}}", "x1e+20"},
      {"={{t}}+{{f}}+{{n}}", "1"},
      {"={{o}}", "{{o}}"},
      {"={{a}}", "{{a}}"},
      {"={{red}}", "{{red}}"},
      {"={{mm}}+1", "13"},
      {"={{missing}}+1", "{{missing}}+1"},
      {"={{missing|3}}", "{{missing|3}}"},
      {"={{ w }}", "{{ w }}"},
      {"={{W}}", "{{W}}"},
      {"={{chain}}+1", "26"},
      {"={{nov}}", "{{nov}}"},
      {"={{np}}", "{{np}}"},
      {"={{dup}}", "7"},
      {"={{ sp}}", "4"},
      {"={{|3}}", "8"},
      {"=w={{w}}", "w=12.5"},
      {"={{w}}{{w}}", "12.512"},
  };
  for (const auto& c : cases) EXPECT_EQ(Solve(objects, c.in), c.out) << c.in;
}

TEST(ParamsTemplates, PlaceholderMatchingRule) {
  // Names are looked up as the inner text between the first "{{" that is
  // followed by non-"}" bytes and "}}".
  json objects = {Param("a", 1), Param("{a", 2), Param("b", 3)};
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"={{{a}}}", "2}"},
      {"={{a}", "{{a}"},
      {"={{}}", "{{}}"},
      {"={{a}b}}", "{{a}b}}"},
      {"={{}}{{a}}", "{{}}1"},
      {"={{a}}}}{{b}}", "1}}3"},
      {"={ {a}}", "{ {a}}"},
      {"={{a}}{{", "1{{"},
      {"={{a\n}}", "{{a\n}}"},
      {"={{{{a}}", "{{{{a}}"},
      {"={{a}}+{{b}}*2", "7"},
  };
  for (const auto& c : cases) EXPECT_EQ(Solve(objects, c.in), c.out) << c.in;

  // Long texts stay linear: many unmatched openers before a "}}" far away.
  std::string opens;
  for (int i = 0; i < 100000; ++i) opens += "{{x";
  std::string text = "=" + opens + "}{{b}}";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Solve(objects, text), opens + "}3");
  std::string many = "=";
  for (int i = 0; i < 20000; ++i) many += "{{a}}+";
  many += "0";
  EXPECT_EQ(Solve(objects, many), "20000");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ParamsTemplates, SelfReferenceEndsWithPlaceholderKept) {
  json objects = {
      Param("self", "={{self}}+1"),
      Param("a", "={{b}}"),
      Param("b", "={{a}}*2"),
      Param("ok", "={{self}}"),
  };
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"={{self}}", "{{self}}"},
      {"={{a}}", "{{a}}"},
      {"={{ok}}+1", "{{ok}}+1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Solve(objects, c.in), c.out) << c.in;

  json doc = Doc(objects);
  SolveAllObjects(doc);
  EXPECT_EQ(doc["objects"][0]["value"]["value"], "{{self}}+1");
}

TEST(ParamsTemplates, ChainsResolveUpToTheLookupBound) {
  // p0 = {{p1}}+1, ..., the last one is 0: the value is the chain length.
  auto chain = [](int n) {
    json objects = json::array();
    for (int i = 0; i < n; ++i) {
      objects.push_back(Param(Name("p", i), "={{" + Name("p", i + 1) + "}}+1"));
    }
    objects.push_back(Param(Name("p", n), 0));
    return objects;
  };
  EXPECT_EQ(Solve(chain(31), "={{p0}}"), "31");
  EXPECT_EQ(Solve(chain(40), "={{p0}}"), "{{p0}}");
}

TEST(ParamsTemplates, DoubleReferencesDoNotBlowUp) {
  // Each parameter refers twice to the next: solved afresh every time this is
  // 2^30 lookups; solving each parameter once keeps it instant.
  json objects = json::array();
  for (int i = 0; i < 30; ++i) {
    std::string next = "{{" + Name("q", i + 1) + "}}";
    objects.push_back(Param(Name("q", i), "=(" + next + "+" + next + ")/2"));
  }
  objects.push_back(Param("q30", 5));
  // A cycle with two references per step is cut at the bound just as fast.
  objects.push_back(Param("x", "={{y}}+{{y}}"));
  objects.push_back(Param("y", "={{x}}+{{x}}"));
  objects.push_back({{"vid", "c"}, {"type", "cube"}, {"size", {{"x", "={{q0}}"}, {"y", "={{x}}"}}}});
  json doc = Doc(objects);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Solve(objects, "={{q0}}"), "5");
  EXPECT_EQ(Solve(objects, "={{x}}"), "{{x}}");
  SolveAllObjects(doc);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(doc["objects"][0]["value"]["value"], "5");
  EXPECT_EQ(doc["objects"].back()["size"], json({{"x", "5"}, {"y", "{{x}}"}}));
}

TEST(ParamsTemplates, SolveAllObjectsWalksEveryObject) {
  json doc = DocOf({
      Param("w", "=4*5"),
      {{"vid", "=1+1"},
       {"type", "cube"},
       {"size", {{"x", "={{w}}*2"}, {"y", "|5|*7"}, {"z", 3}}},
       {"list", {"=1+2", 4, {{"vid", "=2+2"}}}},
       {"name", "plain"}},
      "=1+1",
      7,
  });
  SolveAllObjects(doc);
  const json& cube = doc["objects"][1];
  EXPECT_EQ(doc["objects"][0]["value"]["value"], "20");
  EXPECT_EQ(cube["vid"], "=1+1");
  EXPECT_EQ(cube["size"], json({{"x", "40"}, {"y", "|5|*7"}, {"z", 3}}));
  EXPECT_EQ(cube["list"], json({"3", 4, {{"vid", "4"}}}));
  EXPECT_EQ(cube["name"], "plain");
  EXPECT_EQ(doc["objects"][2], "=1+1");

  // Documents without an "objects" array are left alone.
  for (json other : {json("=1"), json({{"objects", {{"a", "=1"}}}}), json::array({"=1"})}) {
    json copy = other;
    SolveAllObjects(copy);
    EXPECT_EQ(copy, other);
  }
}

TEST(ParamsTemplates, SolvedTypeMakesAParameterForLaterObjects) {
  // A "type" written as an expression becomes "parameter" only once solved;
  // objects after it see it as one, objects before it do not.
  json doc = DocOf({
      {{"vid", "before"}, {"size", "={{late}}"}},
      {{"vid", "late"}, {"type", "=parameter"}, {"value", {{"value", 6}}}},
      {{"vid", "after"}, {"size", "={{late}}"}},
  });
  SolveAllObjects(doc);
  EXPECT_EQ(doc["objects"][0]["size"], "{{late}}");
  EXPECT_EQ(doc["objects"][2]["size"], "6");
}

TEST(ParamsDropdowns, ChosenEntry) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"|10|*20|30", "20"}, {"|*left|right", "left"}, {"|a|*b|*c", "b"}, {"|a|b", "|a|b"},
      {"|a*b|c", "|a*b|c"}, {"|a|*", ""},             {"*a|b", "*a|b"}, {"a|*b", "a|*b"},
      {"||*x", "x"},        {"|=1+1|*=2*3", "=2*3"},  {"", ""},         {"|", "|"},
      {"|**", "*"},         {"|a|b*", "|a|b*"},
  };
  for (const auto& c : cases) {
    json value = {{"k", c.in}};
    ResolveDropdowns(value);
    EXPECT_EQ(value["k"], c.out) << c.in;
  }
}

TEST(ParamsDropdowns, WalksObjectsButNotArrayStrings) {
  json doc = json::parse(R"({"objects": [{"vid": "|1|*2", "size": {"x": "|1|*2", "n": 3, "b": true}},
                                         ["|1|*2", {"deep": {"x": "|a|*b"}}]],
                             "top": "|1|*2"})");
  json expected = json::parse(R"({"objects": [{"vid": "2", "size": {"x": "2", "n": 3, "b": true}},
                                              ["|1|*2", {"deep": {"x": "b"}}]],
                                  "top": "2"})");
  ResolveDropdowns(doc);
  EXPECT_EQ(doc, expected);
}

json Important(const std::string& vid, const json& importance, const json& value = 0) {
  json p = Param(vid, value);
  p["info"] = {{"isimportant", importance}};
  return p;
}

json ValueOf(const json& doc, const std::string& vid) {
  for (const auto& o : doc["objects"]) {
    if (o.value("vid", "") == vid) return o["value"].value("value", json("absent"));
  }
  return "missing";
}

TEST(ParamsPartValues, RankingIsStableByImportance) {
  json noInfo = Param("pd", 0);
  json included = DocOf({Important("pa", 1), Important("pb", 3), Important("pc", 3), noInfo,
                       Important("pe", 0.9), Important("pf", true), Important("pg", -2),
                       Important("ph", 2.7)});
  ApplyPartValues(included, {{"partvalues", {10, 20, 30, 40, 50, 60, 70}}}, Doc(json::array()));
  // pb and pc (3) keep their order, then ph (2.7 reads 2), then pa and pf (1).
  EXPECT_EQ(ValueOf(included, "pb"), 10);
  EXPECT_EQ(ValueOf(included, "pc"), 20);
  EXPECT_EQ(ValueOf(included, "ph"), 30);
  EXPECT_EQ(ValueOf(included, "pa"), 40);
  EXPECT_EQ(ValueOf(included, "pf"), 50);
  EXPECT_EQ(ValueOf(included, "pd"), 0);
  EXPECT_EQ(ValueOf(included, "pe"), 0);
  EXPECT_EQ(ValueOf(included, "pg"), 0);
}

TEST(ParamsPartValues, HugeImportanceRanksFirst) {
  json included = DocOf({Important("small", 5), Important("huge", 1e300),
                       Important("wide", json::parse("18446744073709551615"))});
  ApplyPartValues(included, {{"partvalues", {1, 2, 3}}}, Doc(json::array()));
  EXPECT_EQ(ValueOf(included, "huge"), 1);
  EXPECT_EQ(ValueOf(included, "wide"), 2);
  EXPECT_EQ(ValueOf(included, "small"), 3);
}

TEST(ParamsPartValues, ValuesAndResolution) {
  json outer = DocOf({Param("width", 40)});
  json included = DocOf({Important("a", 9), Important("b", 8), Important("c", 7),
                       Important("d", 6), Important("e", 5), Important("f", 4),
                       Important("g", 3), Important("h", 2), Param("depth", 2.5)});
  included["objects"][7].erase("value");
  ApplyPartValues(included,
                  {{"partvalues",
                    {nullptr, 5, "{{width}}", "{{depth}}*2", "{{nowhere}}", "=3*4", "abc",
                     json::array({1})}}},
                  outer);
  EXPECT_EQ(ValueOf(included, "a"), 0);
  EXPECT_EQ(ValueOf(included, "b"), 5);
  EXPECT_EQ(ValueOf(included, "c"), "40");
  EXPECT_EQ(ValueOf(included, "d"), "5");
  EXPECT_EQ(ValueOf(included, "e"), "{{nowhere}}");
  EXPECT_EQ(ValueOf(included, "f"), "12");
  EXPECT_EQ(ValueOf(included, "g"), "abc");
  EXPECT_EQ(ValueOf(included, "h"), json::array({1}));
}

TEST(ParamsPartValues, MissingPiecesChangeNothing) {
  json included = DocOf({Important("a", 1)});
  const json original = included;
  for (const json& including :
       {json({{"partvalues", 5}}), json::object(), json::array(), json({{"partvalues", {}}})}) {
    ApplyPartValues(included, including, Doc(json::array()));
    EXPECT_EQ(included, original) << including.dump();
  }
  json noObjects = {{"objects", {{"a", 1}}}};
  ApplyPartValues(noObjects, {{"partvalues", {1}}}, Doc(json::array()));
  EXPECT_EQ(noObjects, json({{"objects", {{"a", 1}}}}));
}

TEST(ParamsPartValues, IllTypedMembersThrowTypeErrors) {
  for (const json& importance : {json(nullptr), json("3"), json::object(), json::array()}) {
    json included = DocOf({Important("a", importance)});
    EXPECT_THROW(ApplyPartValues(included, {{"partvalues", {1}}}, Doc(json::array())),
                 json::type_error)
        << importance.dump();
  }
  for (const json& value : {json(5), json(nullptr), json("x")}) {
    json included = DocOf({Important("a", 1)});
    included["objects"][0]["value"] = value;
    EXPECT_THROW(ApplyPartValues(included, {{"partvalues", {1}}}, Doc(json::array())),
                 json::type_error)
        << value.dump();
  }
}

}  // namespace
}  // namespace velamanifold
