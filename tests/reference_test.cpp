// The reference for authors (docs/model-format.md) and the README state
// figures that live in the code: the ceilings, the default segment count, the
// thread standards and the expression functions. These tests read the text
// and compare, so that neither can go stale again.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "model/json_access.h"
#include "model/json_parse.h"
#include "model/limits.h"
#include "params/math_functions.h"
#include "pipeline/pipeline.h"
#include "pipeline/thread_standards.h"

namespace velamanifold {
namespace {

std::string Read(const std::string& relative) {
  std::ifstream file(std::string(TARVO_SOURCE_DIR) + "/" + relative);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Returns the rows of the first table after `heading`: first cell -> second cell.
std::map<std::string, std::string> TableAfter(const std::string& text, const std::string& heading) {
  std::map<std::string, std::string> rows;
  const size_t at = text.find(heading);
  if (at == std::string::npos) return rows;
  std::istringstream lines(text.substr(at));
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.rfind("|", 0) != 0) {
      if (inTable) break;
      continue;
    }
    inTable = true;
    std::smatch cells;
    if (std::regex_search(line, cells, std::regex(R"(^\|\s*([^|]+?)\s*\|\s*([^|]+?)\s*\|)"))) {
      rows[cells[1]] = cells[2];
    }
  }
  return rows;
}

// Returns the first number of a cell, thousands separators dropped ("1e9" read too).
double FirstNumber(std::string cell) {
  cell = std::regex_replace(cell, std::regex("(\\d),(\\d)"), "$1$2");
  std::smatch number;
  if (!std::regex_search(cell, number, std::regex(R"(\d+(\.\d+)?(e\d+)?)"))) return -1;
  return std::stod(number[0]);
}

// The code's value of each ceiling, by every name the two tables give it.
const std::map<std::string, double>& Ceilings() {
  static const std::map<std::string, double> ceilings = {
      {"JSON nesting", kMaxJsonDepth},
      {"segment count", kMaxSegments},
      {"segments", kMaxSegments},
      {"copies", static_cast<double>(kMaxCopies)},
      {"triangles", static_cast<double>(kMaxTriangles)},
      {"outline points", static_cast<double>(kMaxOutlinePoints)},
      {"object nesting", kMaxObjectDepth},
      {"thread rings", static_cast<double>(kMaxScrewRings)},
      {"screw thread rings", static_cast<double>(kMaxScrewRings)},
      {"rounding work", static_cast<double>(kMaxMinkowskiWork)},
      {"rounding points", static_cast<double>(kMaxRoundingPoints)},
      {"text length", static_cast<double>(kMaxTextBytes)},
      {"picture pixels", static_cast<double>(kMaxImagePixels)},
      {"picture size", static_cast<double>(kMaxImagePixels)},
      {"model numbers", kMaxModelMagnitude},
  };
  return ceilings;
}

TEST(Reference, EveryCeilingOfBothTablesIsTheCodes) {
  for (const char* file : {"docs/model-format.md", "README.md"}) {
    const auto rows = TableAfter(Read(file), "## Limits");
    ASSERT_GE(rows.size(), 7u) << file;
    for (const auto& [name, value] : rows) {
      if (name == "Ceiling" || name.find("---") != std::string::npos) continue;
      auto known = Ceilings().find(name);
      ASSERT_NE(known, Ceilings().end()) << file << ": a ceiling the code does not name: " << name;
      EXPECT_EQ(FirstNumber(value), known->second) << file << ": " << name << " says " << value;
    }
  }
  // The ceilings an author meets are all in the reference.
  const auto reference = TableAfter(Read("docs/model-format.md"), "## Limits");
  for (const char* name : {"JSON nesting", "segments", "copies", "triangles", "outline points",
                           "object nesting", "thread rings", "rounding work", "rounding points"}) {
    EXPECT_TRUE(reference.count(name)) << name;
  }
}

TEST(Reference, DefaultsStandardsAndFunctionsAreTheCodes) {
  const std::string text = Read("docs/model-format.md");
  // "the request chooses the count for the whole model (`segments`, default 64)"
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\(`segments`, default (\d+)\))")));
  EXPECT_EQ(std::stoi(m[1]), VelaPipeline().segments);
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(No count may exceed (\d+))")));
  EXPECT_EQ(std::stoi(m[1]), kMaxSegments);
  // The thread standards, listed in one sentence in order of size.
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(`standard` \(one of ([^)]*), which sets)")));
  std::string listed = std::regex_replace(std::string(m[1]), std::regex("\\s+"), " ");
  std::string standards;
  for (int d = 0; d <= 100; ++d) {
    for (const auto& [name, size] : ThreadStandards()) {
      if (size.diameter == d) standards += (standards.empty() ? "" : ", ") + name;
    }
  }
  EXPECT_EQ(listed, standards);
  // Every function of the evaluator is named in the section on expressions.
  const std::string expressions = text.substr(text.find("## Expressions"));
  for (const std::string& name : MathFunctionNames()) {
    EXPECT_NE(expressions.find("`" + name), std::string::npos) << name;
  }
  ASSERT_TRUE(std::regex_search(expressions, m, std::regex(R"(At most (\d+) levels)")));
  EXPECT_EQ(std::stoi(m[1]), 200);
}

}  // namespace
}  // namespace velamanifold
