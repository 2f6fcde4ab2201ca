#include <gtest/gtest.h>

#include <chrono>
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
using Texts = std::vector<std::pair<std::string, std::string>>;

json Param(const std::string& vid, const json& value) {
  return {{"vid", vid}, {"type", "parameter"}, {"value", {{"value", value}}}};
}

// A model document of the listed objects (a single object stays one element).
json DocOf(std::initializer_list<json> objects) {
  json list = json::array();
  for (const auto& object : objects) list.push_back(object);
  return testing::Doc(list);
}

std::string Name(const char* prefix, int i) {
  return std::string(prefix).append(std::to_string(i));
}

void ExpectSolved(const json& doc, const Texts& cases) {
  for (const auto& [in, out] : cases) EXPECT_EQ(SolveExpression(doc, json(in)), json(out)) << in;
}

TEST(ParamsMath, Values) {
  const std::pair<const char*, double> cases[] = {
      {"2+3*4", 14}, {"(2+3)*4", 20}, {"2-3-4", -5}, {"8/2/2", 2}, {"1.5.5", 1.5}, {".", 0},
      {".5", 0.5},   {"+5", 5},       {"2*-3", -6},  {"1 - -2", 3}, {"-.", 0}, {"\t1\n+\r2", 3},
  };
  for (const auto& [text, value] : cases) {
    double out = 0;
    EXPECT_TRUE(TryEvalMath(text, out) && out == value) << text;
  }
}

TEST(ParamsMath, ErrorMessages) {
  const Texts cases = {
      {"", "expected number at pos 0"},     {"   ", "expected number at pos 3"},
      {"-(5)", "expected number at pos 0"}, {"- 5", "expected number at pos 0"},
      {"--5", "expected number at pos 0"},  {"2* -", "expected number at pos 3"},
      {"(1+2", "missing ')' at pos 4"},     {"(1+2 ", "missing ')' at pos 5"},
      {"2,5", "unexpected trailing chars at pos 1"}, {"3 4", "unexpected trailing chars at pos 2"},
      {"1e5", "unexpected trailing chars at pos 1"}, {"1+2)", "unexpected trailing chars at pos 3"},
  };
  for (const auto& [text, message] : cases) {
    try {
      EvalMath(text);
      ADD_FAILURE() << "no error for '" << text << "'";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
    double out = 42;
    EXPECT_TRUE(!TryEvalMath(text, out) && out == 42) << text;
  }
}

TEST(ParamsMath, DeepNestingIsAnErrorNotACrash) {
  EXPECT_EQ(EvalMath(std::string(150, '(') + "1" + std::string(150, ')')), 1);
  for (size_t n : {201u, 100000u}) {
    EXPECT_THROW(EvalMath(std::string(n, '(') + "1" + std::string(n, ')')), std::runtime_error);
  }
  ExpectSolved(json::object(), {{"=" + std::string(50000, '('), std::string(50000, '(')}});
}

TEST(ParamsTemplates, PlaceholdersLiteralsAndNumberTexts) {
  json doc = DocOf({
      Param("w", 12.5), Param("e", "=3+4"), Param("ee", "==3+4"), Param("p", 123.456),
      Param("t", true), Param("f", false), Param("n", nullptr), Param("a", json::array({1})),
      Param("red", "red"), Param("mm", "12mm"), Param("chain", "={{w}}*2"), Param("big", 1e15),
      Param("nines", 999999999999999),
      {{"vid", "np"}, {"type", "cube"}, {"value", {{"value", 1}}}},
      {{"vid", "dup"}, {"type", "parameter"}, {"value", 5}}, Param("dup", 7), Param("dup", 9),
      {{"type", "parameter"}, {"value", {{"value", 8}}}},  // no "vid": the empty name
  });
  ExpectSolved(doc, {
      {"={{w}}*2", "25"}, {"={{e}}*2", "14"}, {"={{ee}}*2", "14"}, {"={{chain}}+1", "26"},
      {"={{p|2}}", "1.2e+02"}, {"={{p|x}}", "1e+02"}, {"={{p|-1}}", "123.456"},
      {"={{p| +4xyz}}", "123.5"},
      {"=x{{p|99999999999999999999}}", "x123.4560000000000030695446184836328029632568359375"},
      {"={{t}}+{{f}}+{{n}}", "1"}, {"={{mm}}+1", "13"}, {"={{a}}", "{{a}}"},
      {"={{red}}", "{{red}}"}, {"={{missing|3}}+1", "{{missing|3}}+1"}, {"={{ w }}", "{{ w }}"},
      {"={{np}}", "{{np}}"}, {"={{dup}}", "7"}, {"={{|3}}", "8"}, {"=w={{w}}", "w=12.5"},
      {"=x{{big}}", "x1e+15"}, {"=x{{nines}}", "x999999999999999"}, {"=0*-1", "0"},
      {"=1/3", "0.333333333333333"}, {"=1/0", "inf"}, {"=-1/0", "-inf"}, {"=0/0", "nan"},
      {"=   ", ""}, {"=2,5", "2,5"}, {"=1e3", "1e3"}, {"= \t\n\r1+1 ", "2"}, {"==1", "=1"},
      {"=\v1", "\v1"}, {"=1 \xc3\xa9", "1 \xc3\xa9"},
  });
  for (const json& literal : {json("abc{{w}}"), json(5), json(true), json(nullptr), json(" =1")}) {
    EXPECT_EQ(SolveExpression(doc, literal), literal);
  }
}

TEST(ParamsTemplates, PlaceholderMatchingRule) {
  json doc = DocOf({Param("a", 1), Param("{a", 2), Param("b", 3)});
  ExpectSolved(doc, {{"={{{a}}}", "2}"}, {"={{a}", "{{a}"}, {"={{}}", "{{}}"},
                     {"={{a}b}}", "{{a}b}}"}, {"={{}}{{a}}", "{{}}1"}, {"={{a}}}}{{b}}", "1}}3"},
                     {"={{{{a}}", "{{{{a}}"}, {"={{a}}+{{b}}*2", "7"}});
  // Long texts stay linear: many openers before a "}" far away, many matches.
  std::string opens, sum = "=";
  for (int i = 0; i < 100000; ++i) opens += "{{x";
  for (int i = 0; i < 20000; ++i) sum += "{{a}}+";
  auto start = std::chrono::steady_clock::now();
  ExpectSolved(doc, {{"=" + opens + "}{{b}}", opens + "}3"}, {sum + "0", "20000"}});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ParamsTemplates, CyclesAndLongChainsStayBounded) {
  auto start = std::chrono::steady_clock::now();
  json cycles = DocOf({Param("self", "={{self}}+1"), Param("a", "={{b}}+{{b}}"),
                       Param("b", "={{a}}+{{a}}"), Param("ok", "={{self}}")});
  ExpectSolved(cycles, {{"={{self}}", "{{self}}"}, {"={{a}}", "{{a}}"}, {"={{ok}}+1", "{{ok}}+1"}});
  // p0 = {{p1}}+1, ..., pn = 0: 31 lookups resolve, 40 exceed the bound.
  for (int n : {31, 40}) {
    json doc = DocOf({Param(Name("p", n), 0)});
    for (int i = 0; i < n; ++i) {
      doc["objects"].push_back(Param(Name("p", i), "={{" + Name("p", i + 1) + "}}+1"));
    }
    ExpectSolved(doc, {{"={{p0}}", n == 31 ? "31" : "{{p0}}"}});
  }
  // Solved afresh at every reference, q0 and a take 2^30 lookups.
  for (int i = 0; i < 30; ++i) {
    std::string next = "{{" + Name("q", i + 1) + "}}";
    cycles["objects"].push_back(Param(Name("q", i), "=(" + next + "+" + next + ")/2"));
  }
  cycles["objects"].push_back(Param("q30", 5));
  cycles["objects"].push_back({{"vid", "c"}, {"size", {{"x", "={{q0}}"}, {"y", "={{a}}"}}}});
  SolveAllObjects(cycles);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(cycles["objects"][0]["value"]["value"], "{{self}}+1");
  EXPECT_EQ(cycles["objects"].back()["size"], json({{"x", "5"}, {"y", "{{a}}"}}));
}

TEST(ParamsTemplates, SolveAllObjectsWalksEveryObject) {
  json doc = DocOf({
      Param("w", "=4*5"),
      {{"vid", "=1+1"}, {"size", {{"x", "={{w}}*2"}, {"y", "|5|*7"}}}, {"list", {"=1+2", 4}}},
      // A "type" written as an expression makes a parameter for later objects only.
      {{"vid", "before"}, {"size", "={{late}}"}},
      {{"vid", "late"}, {"type", "=parameter"}, {"value", {{"value", 6}}}},
      {{"vid", "after"}, {"size", "={{late}}"}},
      "=1+1",
  });
  SolveAllObjects(doc);
  const json& objects = doc["objects"];
  EXPECT_EQ(objects[0]["value"]["value"], "20");
  EXPECT_EQ(objects[1], json({{"vid", "=1+1"}, {"size", {{"x", "40"}, {"y", "|5|*7"}}},
                              {"list", {"3", 4}}}));
  EXPECT_EQ(objects[2]["size"], "{{late}}");
  EXPECT_EQ(objects[4]["size"], "6");
  EXPECT_EQ(objects[5], "=1+1");
}

TEST(ParamsDropdowns, ChosenEntry) {
  json doc = json::parse(R"({"objects": [{"vid": "|1|*2", "size": {"x": "|1|*2", "n": 3}},
                                         ["|1|*2", {"deep": {"x": "|a|*b"}}]]})");
  ResolveDropdowns(doc);
  EXPECT_EQ(doc, json::parse(R"({"objects": [{"vid": "2", "size": {"x": "2", "n": 3}},
                                             ["|1|*2", {"deep": {"x": "b"}}]]})"));
  const Texts cases = {
      {"|10|*20|30", "20"}, {"|a|*b|*c", "b"}, {"|a|b", "|a|b"}, {"|a*b|c", "|a*b|c"},
      {"|a|*", ""},  {"a|*b", "a|*b"}, {"||*x", "x"}, {"|=1+1|*=2*3", "=2*3"}, {"|**", "*"},
  };
  for (const auto& [in, out] : cases) {
    json value = {{"k", in}};
    ResolveDropdowns(value);
    EXPECT_EQ(value["k"], out) << in;
  }
}

json Important(const std::string& vid, const json& importance, const json& value = 0) {
  json p = Param(vid, value);
  p["info"] = {{"isimportant", importance}};
  return p;
}

// Returns the "value"."value" of each object of the document, in order.
json Values(const json& doc) {
  json out = json::array();
  for (const auto& o : doc["objects"]) out.push_back(o["value"].value("value", json("absent")));
  return out;
}

TEST(ParamsPartValues, StableRankingValuesAndResolution) {
  json included = DocOf({Important("pa", 1), Important("pb", 3), Important("pc", 3),
                         Param("pd", 0), Important("pe", 0.9), Important("pf", true),
                         Important("pg", -2), Important("ph", 2.7), Important("huge", 1e300)});
  ApplyPartValues(included, {{"partvalues", {9, 10, 20, 30, 40, 50, 60}}}, json::object());
  EXPECT_EQ(Values(included), json({40, 10, 20, 0, 0, 50, 0, 30, 9}));

  json outer = DocOf({Param("width", 40)});
  included = DocOf({Important("a", 9), Important("b", 8), Important("c", 7),
                    Important("d", 6), Important("e", 5), Important("f", 4),
                    Important("g", 3), Important("h", 2), Param("depth", 2.5)});
  included["objects"][7].erase("value");
  ApplyPartValues(included,
                  {{"partvalues", {nullptr, 5, "{{width}}", "{{depth}}*2", "{{nowhere}}", "=3*4",
                                   "abc", json::array({1})}}},
                  outer);
  EXPECT_EQ(Values(included),
            json({0, 5, "40", "5", "{{nowhere}}", "12", "abc", json::array({1}), 2.5}));

  const json original = included;
  ApplyPartValues(included, {{"partvalues", 5}}, outer);
  EXPECT_EQ(included, original);
}

TEST(ParamsPartValues, IllTypedMembersThrowTypeErrors) {
  json cases[] = {DocOf({Important("a", "3")}), DocOf({Important("a", json::array())}),
                  DocOf({Important("a", 1)}), DocOf({Important("a", 1)})};
  cases[2]["objects"][0]["value"] = 5;
  cases[3]["objects"][0]["value"] = nullptr;
  for (json& included : cases) {
    EXPECT_THROW(ApplyPartValues(included, {{"partvalues", {1}}}, json::object()),
                 json::type_error) << included;
  }
}

}  // namespace
}  // namespace velamanifold
