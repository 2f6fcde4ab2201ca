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
using testing::Doc;
using Texts = std::vector<std::pair<std::string, std::string>>;

json Param(const std::string& vid, const json& value, const json& importance = nullptr) {
  json p = {{"vid", vid}, {"type", "parameter"}, {"value", {{"value", value}}}};
  if (!importance.is_null()) p["info"] = {{"isimportant", importance}};
  return p;
}

std::string Name(std::string prefix, int i) { return prefix.append(std::to_string(i)); }

void ExpectSolved(const json& doc, const Texts& cases) {
  for (const auto& [in, out] : cases) EXPECT_EQ(SolveExpression(doc, json(in)), json(out)) << in;
}

// Returns the value of `text` as templates print it, or the evaluator's message.
std::string Eval(const std::string& text) {
  try {
    return NumberToJsonString(EvalMath(text));
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

void ExpectEvaluated(const Texts& cases) {
  for (const auto& [text, out] : cases) EXPECT_EQ(Eval(text), out) << text.substr(0, 30);
}

std::string Nested(size_t n) { return std::string(n, '(') + "1" + std::string(n, ')'); }

// Forms the evaluator has always accepted keep their values (a run of 1.4
// million random texts of the old grammar gave bit-identical results when
// the evaluator grew), and their messages where they still fail.
TEST(ParamsMath, OldFormsKeepTheirValues) {
  const Texts cases = {
      {"2+3*4", "14"}, {"(2+3)*4", "20"}, {"2-3-4", "-5"}, {"8/2/2", "2"}, {"1.5.5", "1.5"},
      {".", "0"}, {".5", "0.5"}, {"+5", "5"}, {"2*-3", "-6"}, {"1 - -2", "3"}, {"-.", "0"},
      {"\t1\n+\r2", "3"}, {Nested(150), "1"}, {"1/0", "inf"}, {"-1/0", "-inf"},
      {"", "expected number at pos 0"}, {"   ", "expected number at pos 3"},
      {"2* -", "expected number at pos 4"}, {"(1+2 ", "missing ')' at pos 5"},
      {"3 4", "unexpected trailing chars at pos 2"}, {"1+2)", "unexpected trailing chars at pos 3"},
      {Nested(201), "expression nested too deeply at pos 200"},
      {Nested(100000), "expression nested too deeply at pos 200"},
  };
  for (const auto& [text, out] : cases) {
    const bool valid = out.find(" at pos ") == std::string::npos;
    double value = 42;
    EXPECT_EQ(TryEvalMath(text, value), valid) << text;
    EXPECT_EQ(value, valid ? std::stod(out) : 42) << text;
    EXPECT_EQ(Eval(text), out) << text.substr(0, 20);
  }
}

TEST(ParamsMath, SignsOperatorsPrecedenceAndAssociativity) {
  ExpectEvaluated({
      {"-(5)", "-5"}, {"- 5", "-5"}, {"=-(10/2)", "expected number at pos 0"},
      {"-(10/2)", "-5"}, {"--3", "3"}, {"+-+3", "-3"}, {"2*-(1+2)", "-6"}, {"1e5", "100000"},
      {"2.5E-1", "0.25"}, {"7 % 3", "1"}, {"-7 % 3", "-1"}, {"7.5 % 2", "1.5"},
      {"2^10", "1024"}, {"2^3^2", "512"}, {"-2^2", "-4"}, {"- 2^2", "-4"}, {"(-2)^2", "4"},
      {"2^-1", "0.5"}, {"2*3^2", "18"}, {"1+2*3-4/2", "5"}, {"10-4-3", "3"}, {"64/4/2", "8"},
      {"1<2", "1"}, {"2<=2", "1"}, {"3>4", "0"}, {"3>=4", "0"}, {"1+1==2", "1"}, {"1!=1", "0"},
      {"1<2==1", "1"}, {"!0", "1"}, {"!5", "0"}, {"!!7", "1"}, {"1&&0", "0"}, {"0||2", "1"},
      {"1||0&&0", "1"}, {"0&&1||1", "1"}, {"1?2:3", "2"}, {"0?2:3", "3"},
      {"0?1:0?2:3", "3"}, {"1?0?4:5:6", "5"}, {"2>1 ? 10 : 20", "10"}, {"pi", "3.14159265358979"},
      {"2 ^", "expected number at pos 3"}, {"1 = 1", "unexpected trailing chars at pos 2"},
      {"1 ? 2", "missing ':' at pos 5"}, {"1 | 2", "unexpected trailing chars at pos 2"},
      {"7 % 0", "remainder of a division by zero at pos 2"}, {"0/0", "nan"},
      {std::string(100000, '-') + "1", "1"}, {"2^" + std::string(300, '(') + "1", "expression nested too deeply at pos 201"},
  });
}

TEST(ParamsMath, FunctionsInDegreesAndTheirDomains) {
  ExpectEvaluated({
      {"sin(30)", "0.5"}, {"sin(180)", "0"}, {"sin(-90)", "-1"}, {"cos(90)", "0"},
      {"cos(360*3)", "1"}, {"cos(60)", "0.5"}, {"tan(45)", "1"}, {"tan(-45)", "-1"},
      {"asin(1)", "90"}, {"acos(0)", "90"}, {"acos(-1)", "180"}, {"atan(1)", "45"},
      {"atan2(1, -1)", "135"}, {"atan2(0,0)", "0"}, {"sqrt(16)", "4"}, {"sqrt(0)", "0"},
      {"abs(-3)", "3"}, {"min(3)", "3"}, {"min(4, 2, 8)", "2"}, {"max(4, 2, 8, -1)", "8"},
      {"round(2.5)", "3"}, {"round(-2.5)", "-3"}, {"round(3.14159, 2)", "3.14"},
      {"floor(-1.5)", "-2"}, {"ceil(1.2)", "2"}, {"pow(2, 0.5)^2", "2"}, {"if(1, 2, 3)", "2"},
      {"if(0, 2, 3)", "3"}, {"max(1, min(5, 12)) + 1", "6"}, {"sin (30)", "0.5"},
      {"if(-1 < 0, 0, sqrt(-1))", "0"}, {"0 && sqrt(-1)", "0"}, {"1 || asin(2)", "1"},
      {"1 ? 5 : 7 % 0", "5"}, {"sqrt(-1)", "sqrt(-1) is undefined at pos 0"},
      {"2 + asin(2)", "asin(2) is undefined at pos 4"}, {"acos(-1.5)", "acos(-1.5) is undefined at pos 0"},
      {"tan(90)", "tan(90) is undefined at pos 0"}, {"(-8)^(1/3)", "pow(-8, 0.333333) is undefined at pos 4"},
      {"sqrt(0/0)", "nan"}, {"1/0 - 1/0", "nan"}, {"min()", "min takes at least 1 argument, found 0 at pos 0"},
      {"sin(1, 2)", "sin takes 1 argument, found 2 at pos 0"}, {"if(1, 2)", "if takes 3 arguments at pos 0"},
      {"sine(30)", "unknown function 'sine' at pos 0"}, {"2*width", "unknown name 'width' at pos 2"},
      {"max(1, 2", "missing ')' at pos 8"}, {"sqrt", "unknown name 'sqrt' at pos 0"},
  });
}

TEST(ParamsTemplates, PlaceholdersLiteralsAndNumberTexts) {
  json doc = Doc({
      Param("w", 12.5), Param("e", "=3+4"), Param("ee", "==3+4"), Param("p", 123.456),
      Param("t", true), Param("f", false), Param("n", nullptr), Param("a", json::array({1})),
      Param("red", "red"), Param("mm", "12mm"), Param("big", 1e15),
      {{"vid", "np"}, {"type", "cube"}, {"value", {{"value", 1}}}},
      {{"vid", "dup"}, {"type", "parameter"}, {"value", 5}}, Param("dup", 7), Param("dup", 9),
      {{"type", "parameter"}, {"value", {{"value", 8}}}},  // no "vid": the empty name
  });
  ExpectSolved(doc, {
      {"={{w}}*2", "25"}, {"=-({{w}}/2)", "-6.25"}, {"=max(sin(30)*{{w}}, 1)", "6.25"},
      {"=M{{w}}", "M12.5"}, {"={{w}}mm", "12.5mm"}, {"={{w}} > 10 ? 1 : 2", "1"}, {"={{e}}*2", "14"}, {"={{ee}}*2", "14"}, {"={{p| +2xyz}}", "120"},
      {"=x{{p|99999999999999999999}}", "x123.4560000000000030695446184836328029632568359375"},
      {"={{t}}+{{f}}+{{n}}", "1"}, {"={{mm}}+1", "13"}, {"={{a}}", "{{a}}"}, {" =1", " =1"},
      {"={{red}}", "{{red}}"}, {"={{missing|3}}+1", "{{missing|3}}+1"}, {"={{np}}", "{{np}}"},
      {"={{dup}}", "7"}, {"={{|3}}", "8"}, {"=w={{w}}", "w=12.5"}, {"=x{{big}}", "x1e+15"},
      {"=0*-1", "0"}, {"=1/3", "0.333333333333333"}, {"=1/0", "inf"}, {"=0/0", "nan"},
      {"=   ", ""}, {"=2,5", "2,5"}, {"= \t\n\r1+1 ", "2"}, {"==1", "=1"}, {"=\v1", "\v1"},
      {"abc{{w}}", "abc{{w}}"}, {"=" + std::string(50000, '('), std::string(50000, '(')},
  });
}

TEST(ParamsTemplates, PlaceholderMatchingRuleStaysLinear) {
  json doc = Doc({Param("a", 1), Param("{a", 2), Param("b", 3)});
  ExpectSolved(doc, {{"={{{a}}}", "2}"}, {"={{a}", "{{a}"}, {"={{}}", "{{}}"},
                     {"={{a}b}}", "{{a}b}}"}, {"={{}}{{a}}", "{{}}1"}, {"={{a}}}}{{b}}", "1}}3"},
                     {"={{{{a}}", "{{{{a}}"}});
  // Many openers before a "}" far away, and many matches.
  std::string opens, sum = "=";
  for (int i = 0; i < 100000; ++i) opens += "{{x";
  for (int i = 0; i < 20000; ++i) sum += "{{a}}+";
  auto start = std::chrono::steady_clock::now();
  ExpectSolved(doc, {{"=" + opens + "}{{b}}", opens + "}3"}, {sum + "0", "20000"}});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ParamsTemplates, CyclesAndLongChainsStayBounded) {
  auto start = std::chrono::steady_clock::now();
  json cycles = Doc({Param("self", "={{self}}+1"), Param("a", "={{b}}+{{b}}"),
                     Param("b", "={{a}}+{{a}}"), Param("ok", "={{self}}")});
  ExpectSolved(cycles, {{"={{self}}", "{{self}}"}, {"={{a}}", "{{a}}"}, {"={{ok}}+1", "{{ok}}+1"}});
  // p0 = {{p1}}+1, ..., pn = 0: 31 lookups resolve, 40 exceed the bound.
  for (int n : {31, 40}) {
    json doc = Doc(json::array({Param(Name("p", n), 0)}));
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
  json doc = Doc({
      Param("w", "=4*5"),
      {{"vid", "=1+1"}, {"size", {{"x", "={{w}}*2"}, {"y", "|5|*7"}}}, {"list", {"=1+2", 4}}},
      // A "type" written as an expression makes a parameter for later objects only.
      {{"vid", "before"}, {"size", "={{late}}"}},
      {{"vid", "late"}, {"type", "=parameter"}, {"value", {{"value", 6}}}},
      {{"vid", "after"}, {"size", "={{late}}"}}, "=1+1",
  });
  SolveAllObjects(doc);
  EXPECT_EQ(doc["objects"], json::parse(R"([
      {"vid": "w", "type": "parameter", "value": {"value": "20"}},
      {"vid": "=1+1", "size": {"x": "40", "y": "|5|*7"}, "list": ["3", 4]},
      {"vid": "before", "size": "{{late}}"},
      {"vid": "late", "type": "parameter", "value": {"value": 6}},
      {"vid": "after", "size": "6"}, "=1+1"])"));
}

TEST(ParamsDropdowns, ChosenEntryOfEveryFieldButListStrings) {
  json doc = json::parse(R"({"objects": [{"vid": "|1|*2", "size": {"x": "|1|*2", "n": 3}},
      ["|1|*2", {"deep": {"a": "|10|*20|30", "b": "|a|*b|*c", "c": "|a|b", "d": "|a*b|c",
                          "e": "|a|*", "f": "a|*b", "g": "|=1+1|*=2*3", "h": "|**"}}]]})");
  ResolveDropdowns(doc);
  EXPECT_EQ(doc, json::parse(R"({"objects": [{"vid": "2", "size": {"x": "2", "n": 3}},
      ["|1|*2", {"deep": {"a": "20", "b": "b", "c": "|a|b", "d": "|a*b|c",
                          "e": "", "f": "a|*b", "g": "=2*3", "h": "*"}}]]})"));
}

TEST(ParamsPartValues, StableRankingValuesAndResolution) {
  json included = Doc({Param("pa", 0, 1), Param("pb", 0, 3), Param("pc", 0, 3), Param("pd", 2.5),
                       Param("pe", 0, 0.9), Param("pf", 0, true), Param("pg", 0, -2),
                       Param("ph", 0, 2.7), Param("huge", 0, 1e300)});
  included["objects"][0].erase("value");
  // Ranked huge, pb, pc, ph, pa, pf; placeholders look in the outer model first.
  const json values = {5, nullptr, "{{width}}", "{{pd}}*2", "{{nowhere}}", "=3*4", 60};
  ApplyPartValues(included, {{"partvalues", values}}, Doc(json::array({Param("width", 40)})));
  json got = json::array();
  for (const json& p : included["objects"]) got.push_back(p["value"]["value"]);
  EXPECT_EQ(got, json({"{{nowhere}}", 0, "40", 2.5, 0, "12", 0, "5", 5}));
}

// A text with a placeholder that neither model knows is kept whole, never
// stored half solved with the placeholders that were found.
TEST(ParamsPartValues, TextWithAnUnknownPlaceholderIsKeptWhole) {
  const json outer = Doc(json::array({Param("width", 40)}));
  const std::pair<json, json> cases[] = {
      {"{{width}}*{{depth}}", "80"},  // each model knows one of them
      {"{{width}}*{{nowhere}}", "{{width}}*{{nowhere}}"},
      {"{{depth}}+{{nowhere}}", "{{depth}}+{{nowhere}}"},
      {"={{width}}+{{nowhere}}", "={{width}}+{{nowhere}}"},
  };
  for (const auto& [value, expected] : cases) {
    json included = Doc({Param("target", 0, 1), Param("depth", 2)});
    ApplyPartValues(included, {{"partvalues", {value}}}, outer);
    EXPECT_EQ(included["objects"][0]["value"]["value"], expected) << value;
  }
}

TEST(ParamsPartValues, IllTypedMembersThrowTypeErrors) {
  json cases[] = {Param("a", 0, "3"), Param("a", 0, json::array()), Param("a", 0, 1),
                  Param("a", 0, 1)};
  cases[2]["value"] = 5;
  cases[3]["value"] = nullptr;
  for (const json& p : cases) {
    json included = Doc(json::array({p}));
    EXPECT_THROW(ApplyPartValues(included, {{"partvalues", {1}}}, {}), json::type_error) << p;
  }
}

}  // namespace
}  // namespace velamanifold
