// The model checker's findings, and the schema and member table it shares
// with the pipeline.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "check/diagnostics.h"
#include "model/model_schema.h"
#include "model/object_keys.h"
#include "pipeline/pipeline.h"

namespace velamanifold {
namespace {

using json = nlohmann::json;

std::vector<std::string> TableTypes() {
  std::vector<std::string> types;
  for (const ObjectType& info : ObjectTypes()) types.push_back(info.type);
  return types;
}

TEST(ModelSchema, TypesAreExactlyThoseThePipelineDispatches) {
  EXPECT_EQ(TableTypes(), DispatchedTypeNames());
  std::vector<std::string> schemaTypes =
      ModelSchema()["$defs"]["objectRecord"]["properties"]["type"]["enum"]
          .get<std::vector<std::string>>();
  EXPECT_EQ(schemaTypes, DispatchedTypeNames());
}

TEST(ModelSchema, CommittedFileIsTheOneTheTableMakes) {
  std::ifstream file(std::string(TARVO_SOURCE_DIR) + "/docs/model.schema.json");
  ASSERT_TRUE(file) << "docs/model.schema.json is missing; `make docs` writes it";
  const json committed = json::parse(std::string(std::istreambuf_iterator<char>(file), {}));
  EXPECT_EQ(committed, ModelSchema()) << "docs/model.schema.json is stale; run `make docs`";
}

TEST(ModelSchema, EachTypeDefinitionListsTheTableMembers) {
  const json defs = ModelSchema()["$defs"];
  for (const ObjectType& info : ObjectTypes()) {
    std::set<std::string> fromSchema;
    for (const auto& [key, value] : defs[info.type]["properties"].items()) fromSchema.insert(key);
    std::set<std::string> fromTable;
    for (const MemberInfo& member : info.members) fromTable.insert(member.name);
    EXPECT_EQ(fromSchema, fromTable) << info.type;
    EXPECT_EQ(defs[info.type].contains("additionalProperties"), !info.openMembers) << info.type;
    EXPECT_EQ(defs[info.type]["description"], info.summary) << info.type;
  }
}

TEST(NearestName, SuggestsOnlyLikelyMisspellings) {
  const std::vector<std::string> names = {"cylinder", "cube", "cone", "height", "depth"};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"cylnder", "cylinder"}, {"heigth", "height"}, {"cub", "cube"},
      {"Cube", "cube"},        {"wibble", ""},       {"x", ""},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(NearestName(name, names), expected) << name;
}

TEST(PointerToken, EscapesTildeAndSlash) { EXPECT_EQ(PointerToken("a/b~c"), "a~1b~0c"); }

struct Broken {
  const char* what;
  const char* document;
  const char* pointer;
  Severity severity;
  const char* message;  // a piece of the expected message
};

const Diagnostic* Find(const std::vector<Diagnostic>& found, const std::string& pointer) {
  for (const Diagnostic& d : found) {
    if (d.pointer == pointer) return &d;
  }
  return nullptr;
}

std::string Dump(const std::vector<Diagnostic>& found) {
  std::string text;
  for (const Diagnostic& d : found) text += "  " + d.pointer + ": " + d.message + "\n";
  return text;
}

TEST(CheckModel, EachKindOfMistakeIsFoundWhereItIs) {
  const Broken cases[] = {
      {"not JSON", "{\"objects\": [\n  {\"vid\": \"a\",}\n]}", "", Severity::kError, "not JSON"},
      {"document of another kind", "[1, 2]", "", Severity::kError, "is a JSON object"},
      {"misspelt type", R"({"objects":[{"vid":"c","type":"cube"},{"vid":"d","type":"cylnder"}]})",
       "/objects/1/type", Severity::kError, R"(unknown type "cylnder"; did you mean "cylinder"?)"},
      {"misspelt member", R"({"objects":[{"vid":"c","type":"cylinder","size":{"heigth":4}}]})",
       "/objects/0/size/heigth", Severity::kError, R"(did you mean "height"?)"},
      {"misspelt top-level member", R"({"object":[]})", "/object", Severity::kError,
       R"(did you mean "objects"?)"},
      {"duplicate id", R"({"objects":[{"vid":"c","type":"cube"},{"vid":"c","type":"sphere"}]})",
       "/objects/1/vid", Severity::kError, "duplicate id \"c\": /objects/0 has it too"},
      {"missing reference",
       R"({"objects":[{"vid":"box","type":"cube"},{"vid":"u","type":"union","baseObjects":["box","bx"]}]})",
       "/objects/1/baseObjects/1", Severity::kError,
       R"(no object has the id "bx"; did you mean "box"?)"},
      {"reference cycle",
       R"({"objects":[{"vid":"a","type":"union","baseObjects":["b"]},{"vid":"b","type":"union","baseObjects":["a"]}]})",
       "/objects/1/baseObjects/0", Severity::kError, "reference cycle 'a' -> 'b' -> 'a'"},
      {"placeholder naming no parameter",
       R"({"objects":[{"vid":"width","type":"parameter","value":{"value":4}},
                      {"vid":"c","type":"cube","size":{"x":"={{widht}}*2"}}]})",
       "/objects/1/size/x", Severity::kError,
       R"(placeholder {{widht}} names no parameter; did you mean "width"?)"},
      {"placeholder naming a dropdown parameter",
       R"({"objects":[{"vid":"n","type":"parameter","value":{"value":"|2|*3|4"}},
                      {"vid":"c","type":"cube","size":{"x":"={{n}}*10"}}]})",
       "/objects/1/size/x", Severity::kWarning, "expressions are solved before dropdowns"},
      {"failing expression",
       R"({"objects":[{"vid":"w","type":"parameter","value":{"value":4}},
                      {"vid":"c","type":"cube","size":{"x":"={{w}}*(2"}}]})",
       "/objects/1/size/x", Severity::kError, "missing ')' at pos 4"},
      {"expression dividing by zero",
       R"({"objects":[{"vid":"c","type":"cube","size":{"x":"=1/0"}}]})", "/objects/0/size/x",
       Severity::kError, "gives inf"},
      {"text where a number belongs",
       R"({"objects":[{"vid":"c","type":"cube","size":{"x":"wide"}}]})", "/objects/0/size/x",
       Severity::kError, "expected a number, found \"wide\""},
      {"dropdown choosing a text",
       R"({"objects":[{"vid":"c","type":"cube","size":{"x":"|10|*big"}}]})", "/objects/0/size/x",
       Severity::kError, "the chosen entry \"big\""},
      {"single id where a list belongs",
       R"({"objects":[{"vid":"c","type":"cube"},{"vid":"u","type":"union","baseObjects":"c"}]})",
       "/objects/1/baseObjects", Severity::kError, "expected a list of object ids"},
      {"visibility as a word", R"({"objects":[{"vid":"c","type":"cube","visible":"no"}]})",
       "/objects/0/visible", Severity::kError, "reads as false"},
      {"colour that is not hexadecimal",
       R"({"objects":[{"vid":"c","type":"cube","color":{"color":"#zz0000"}}]})",
       "/objects/0/color/color", Severity::kError, "not hexadecimal"},
      {"outline point of text",
       R"({"objects":[{"vid":"t","type":"svg","_polygons":[[[0,0],[1,"a"],[1,1]]]}]})",
       "/objects/0/_polygons/0/1/1", Severity::kError, "coordinates are numbers"},
      {"operand left visible",
       R"({"objects":[{"vid":"box","type":"cube","visible":false},{"vid":"hole","type":"cylinder"},
                      {"vid":"body","type":"subtract","baseObjects":["box"],"subtractObjects":["hole"]}]})",
       "/objects/1", Severity::kWarning, "'hole' is visible and also used by 'body'"},
      {"visible cutter inside a hidden subtract",
       R"({"objects":[{"vid":"box","type":"cube","visible":false},{"vid":"hole","type":"cylinder"},
                      {"vid":"sub","type":"subtract","baseObjects":["box"],"subtractObjects":["hole"],"visible":false},
                      {"vid":"body","type":"union","baseObjects":["sub"]}]})",
       "/objects/1", Severity::kWarning, "'hole' is visible and also used by 'sub' (inside 'body')"},
      {"unknown thread standard",
       R"({"objects":[{"vid":"t","type":"thread","size":{"standard":"M7"}}]})",
       "/objects/0/size/standard", Severity::kError,
       "unknown thread standard \"M7\": the thread takes its own diameter and pitch"},
      {"placeholder in a text that is not an expression",
       R"({"objects":[{"vid":"size","type":"parameter","value":{"value":8}},
                      {"vid":"t","type":"thread","size":{"standard":"M{{size}}"}}]})",
       "/objects/1/size/standard", Severity::kWarning,
       "placeholder {{size}} in \"M{{size}}\" is never filled in"},
      {"default outside its own bounds",
       R"({"objects":[{"vid":"hole","type":"parameter","value":{"value":30,"max":8,"unit":"mm"}}]})",
       "/objects/0/value/value", Severity::kError, "hole must be at most 8 mm, not 30"},
      {"object without id", R"({"objects":[{"type":"cube"}]})", "/objects/0", Severity::kWarning,
       "no \"vid\""},
      {"visible object building nothing, traced",
       R"({"objects":[{"vid":"r","type":"rectangle","visible":false},
                      {"vid":"o","type":"merge2d","union":["r"],"subtract":["r"],"visible":false},
                      {"vid":"plate","type":"plate","outershell":"o","visible":false},
                      {"vid":"hole","type":"cylinder","visible":false},
                      {"vid":"body","type":"subtract","baseObjects":["plate"],"subtractObjects":["hole"]}]})",
       "/objects/4", Severity::kWarning,
       "subtract 'body' is visible but builds nothing: its base 'plate' builds nothing: its "
       "outline "
       "'o' is an empty region: its operations leave no area"},
      {"solid without volume",
       R"({"objects":[{"vid":"o","type":"rectangle","size":{"x":0,"y":10},"visible":false},
                      {"vid":"p","type":"plate","outershell":"o"}]})",
       "/objects/1", Severity::kWarning, "plate 'p' builds a solid without volume"},
      {"reference to a missing outline, traced",
       R"({"objects":[{"vid":"p","type":"plate","outershell":"nowhere"}]})", "/objects/0",
       Severity::kWarning,
       "its outline 'nowhere' is an empty region: no object has the id 'nowhere'"},
      {"STL that does not decode to a closed mesh",
       R"({"objects":[{"vid":"m","type":"polygons","attachmentVids":["s"],"visible":false}],
           "attachments":[{"vid":"s","filetype":"model/stl","content":"c29saWQgeAplbmRzb2xpZCB4Cg=="}]})",
       "/attachments/0/content", Severity::kError, "not a closed solid"},
      {"attachment that is not Base64",
       R"({"objects":[],"attachments":[{"vid":"s","filetype":"model/stl","content":"**not base64**"}]})",
       "/attachments/0/content", Severity::kError, "not Base64"},
      {"attachment of the wrong file type",
       R"({"objects":[{"vid":"m","type":"includepart","attachmentVid":"s","visible":false}],
           "attachments":[{"vid":"s","filetype":"model/stl","content":""}]})",
       "/objects/0/attachmentVid", Severity::kError, "not \"vela\""},
      {"mistake inside an included model",
       R"({"objects":[{"vid":"i","type":"includepart","attachmentVid":"m"}],
           "attachments":[{"vid":"m","filetype":"vela","content":{"objects":[{"vid":"c","type":"cub"}]}}]})",
       "/attachments/0/content/objects/0/type", Severity::kError, "did you mean \"cube\"?"},
      {"height map smaller than stated",
       R"({"objects":[{"vid":"b","type":"bumpmesh","_heightmap":[0,255,0],"_heightmapWidth":2,"_heightmapHeight":2}]})",
       "/objects/0/_heightmap", Severity::kError, "holds 3 grey values, fewer than the 2 x 2 = 4"},
      {"ceiling met",
       R"({"objects":[{"vid":"c","type":"cube","visible":false},
                      {"vid":"g","type":"grid","baseObjects":["c"],"grid":{"rows":1000,"columns":1000}}]})",
       "/objects/1", Severity::kError,
       "meets a ceiling: copy count of 1000000 exceeds the limit of 100000"},
      {"segment count past its ceiling",
       R"({"objects":[{"vid":"c","type":"cylinder","size":{"segments":5000}}]})", "/objects/0",
       Severity::kError, "exceeds the limit of 1024"},
  };
  for (const Broken& c : cases) {
    const std::vector<Diagnostic> found = CheckModel(c.document);
    const Diagnostic* d = Find(found, c.pointer);
    ASSERT_NE(d, nullptr) << c.what << ": nothing at \"" << c.pointer << "\"; found:\n"
                          << Dump(found);
    EXPECT_EQ(d->severity, c.severity) << c.what;
    EXPECT_NE(d->message.find(c.message), std::string::npos) << c.what << ": " << d->message;
  }
}

TEST(CheckModel, TextThatIsNotJsonGivesLineAndColumn) {
  const std::vector<Diagnostic> found = CheckModel("{\"objects\": [\n  {\"vid\": \"a\",}\n]}");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].line, 2);
  EXPECT_EQ(found[0].column, 15);
}

TEST(CheckModel, SoundDocumentsHaveNoFindings) {
  const char* documents[] = {
      R"({"objects":[{"vid":"w","type":"parameter","value":{"value":40}},
                     {"vid":"base","type":"cube","size":{"x":"={{w}}","y":"30mm","z":"|5|*6"},"color":{"color":"#3366cc"},"visible":false},
                     {"vid":"hole","type":"cylinder","size":{"diameter":4,"height":40},"move":{"x":20,"y":15,"z":-1},"visible":false},
                     {"vid":"body","type":"subtract","baseObjects":["base"],"subtractObjects":["hole"]}]})",
      R"({"objects":[{"vid":"o","type":"rectangle","size":{"x":40,"y":20},"visible":false},
                     {"vid":"m3","type":"thread","size":{"standard":"M3"},"move":{"x":10,"y":10},"visible":false},
                     {"vid":"p","type":"plate","outershell":"o","innercuts":[{"vid":"m3","depth":2}],"size":{"depth":3}},
                     {"vid":"s","type":"fdm","anything":"goes"}]})",
      // Expressions inside cut records are solved like any other.
      R"J({"objects":[{"vid":"d","type":"parameter","value":{"value":2}},
                     {"vid":"o","type":"rectangle","size":{"x":40,"y":20},"visible":false},
                     {"vid":"c","type":"circle","size":{"diameter":"=-(-{{d}}*2)"},"visible":false},
                     {"vid":"p","type":"plate","outershell":"o","innercuts":[{"vid":"c","depth":"=min({{d}}, 5)"}],
                      "size":{"depth":"=3*sin(90)"}}]})J",
  };
  for (const char* document : documents) {
    const std::vector<Diagnostic> found = CheckModel(document);
    EXPECT_TRUE(found.empty()) << document << "\n" << Dump(found);
  }
}

TEST(CheckModel, IncludesNestedPastTheCeilingEndWithAFinding) {
  // Each level includes the next: 250 levels, past the nesting ceiling of 200.
  json document = {{"objects", json::array()}};
  for (int level = 0; level < 250; ++level) {
    document = {{"objects", {{{"vid", "i"}, {"type", "includepart"}, {"attachmentVid", "m"}}}},
                {"attachments", {{{"vid", "m"}, {"filetype", "vela"}, {"content", document}}}}};
  }
  const std::vector<Diagnostic> found = CheckModel(document.dump());
  bool nesting = false, ceiling = false;
  for (const Diagnostic& d : found) {
    nesting |= d.message.find("included models nest deeper than 200 levels") != std::string::npos;
    ceiling |= d.pointer == "/objects/0" && d.message.find("meets a ceiling") != std::string::npos;
  }
  EXPECT_TRUE(nesting && ceiling) << Dump(found);
}

TEST(CheckModel, CycleIsReportedOnceWhereItCloses) {
  const std::vector<Diagnostic> found =
      CheckModel(R"({"objects":[{"vid":"a","type":"union","baseObjects":["a"]}]})");
  int cycles = 0;
  for (const Diagnostic& d : found) cycles += d.message.find("cycle") != std::string::npos;
  EXPECT_EQ(cycles, 1) << Dump(found);
}

}  // namespace
}  // namespace velamanifold
