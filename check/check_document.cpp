// The walk over a model document for its shape findings: the document's own
// members, ids, object records and their types; the entry point that solves
// the objects first.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "import/base64_decode.h"
#include "import/stl_reader.h"
#include "params/dropdowns.h"
#include "params/math_parser.h"
#include "params/templates.h"
#include "check/diagnostics.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "model/object_keys.h"
#include "pipeline/text_string.h"

#include "check/shape_checker.h"

namespace velamanifold::shape {

std::string Quoted(const std::string& text) {
  // Long texts (attachments, generated outlines) are cut for the message.
  constexpr size_t kShown = 60;
  return "\"" + (text.size() > kShown ? text.substr(0, kShown) + "..." : text) + "\"";
}

std::string KindOfValue(const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case json::value_t::string:
      return "the text " + Quoted(value.get<std::string>());
    case json::value_t::array:
      return "a list";
    case json::value_t::object:
      return "an object";
    default:
      return value.is_number() ? "the number " + value.dump() : "a value";
  }
}

bool IsExpression(const json& value) {
  return value.is_string() && !value.get_ref<const std::string&>().empty() &&
         value.get_ref<const std::string&>()[0] == '=';
}

bool IsDropdown(const json& value) {
  if (!value.is_string()) return false;
  const auto& s = value.get_ref<const std::string&>();
  return !s.empty() && s[0] == '|' && s.find('*') != std::string::npos;
}

bool StartsWithNumber(const std::string& text, double& out) {
  return ParseNumberPrefix(text.c_str(), out);
}

bool IsWholeNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  return *end == '\0';
}

std::vector<std::string> Names(const std::vector<MemberInfo>& table) {
  std::vector<std::string> names;
  for (const MemberInfo& info : table) names.push_back(info.name);
  return names;
}

void ShapeChecker::Run() {
  if (!document_.is_object()) {
    out_.Error(at_, "a model document is a JSON object, not " + KindOfValue(document_));
    return;
  }
  for (auto it = document_.begin(); it != document_.end(); ++it) {
    if (!FindMember(DocumentMembers(), it.key())) {
      UnknownKey(at_ + "/" + PointerToken(it.key()), it.key(), DocumentMembers());
    }
  }
  const json& objects = Jobj(document_, "objects");
  if (!document_.contains("objects")) {
    out_.Warning(at_, "the document has no \"objects\": it builds nothing");
  } else if (!objects.is_array()) {
    out_.Error(at_ + "/objects", "expected a list of objects, found " + KindOfValue(objects));
  } else {
    CollectIds(objects);
    for (size_t i = 0; i < objects.size(); ++i) CheckObject(objects[i], i);
  }
  CheckAttachments();
  CheckReferences();
  CheckCycles();
  CheckVisibleOperands();
}

std::string ShapeChecker::ObjectPointer(size_t i) const {
  return at_ + "/objects/" + std::to_string(i);
}

const json& ShapeChecker::ResolvedAt(size_t i) const {
  const json& objects = Jobj(resolved_, "objects");
  return objects.is_array() && i < objects.size() ? objects[i] : Jobj(json(), "");
}

void ShapeChecker::UnknownKey(const std::string& pointer, const std::string& key,
                              const std::vector<MemberInfo>& known) {
  out_.Error(pointer, "unknown key \"" + key + "\" is not read" + DidYouMean(key, Names(known)));
}

void ShapeChecker::WrongKind(const std::string& pointer, ValueKind kind, const json& value,
                             const std::string& consequence) {
  out_.Error(pointer,
             "expected " + KindName(kind) + ", found " + KindOfValue(value) + consequence);
}

void ShapeChecker::CollectIds(const json& objects) {
  for (size_t i = 0; i < objects.size(); ++i) {
    const json& vid = Jobj(objects[i], "vid");
    if (!vid.is_string() || vid.get_ref<const std::string&>().empty()) continue;
    const std::string& id = vid.get_ref<const std::string&>();
    auto [it, fresh] = objectIds_.emplace(id, i);
    if (!fresh) {
      out_.Error(ObjectPointer(i) + "/vid",
                 "duplicate id \"" + id + "\": " + ObjectPointer(it->second) +
                     " has it too, and every reference reaches only that one");
    }
    if (Js(objects[i], "type", "") == "parameter") {
      parameters_.insert(id);
      const json& value = Jobj(Jobj(objects[i], "value"), "value");
      if (IsDropdown(value)) dropdownParameters_.emplace(id, value.get<std::string>());
    }
    ids_.push_back(id);
  }
}

void ShapeChecker::CheckObject(const json& object, size_t i) {
  const std::string pointer = ObjectPointer(i);
  if (!object.is_object()) {
    out_.Error(pointer, "expected an object record, found " + KindOfValue(object));
    return;
  }
  const json& type = Jobj(object, "type");
  // A type written as an expression or dropdown is known only once solved.
  const json& resolvedType = Jobj(ResolvedAt(i), "type");
  const ObjectType* info = nullptr;
  if (!object.contains("type")) {
    out_.Error(pointer, "the object has no \"type\": it builds nothing");
  } else if (!type.is_string()) {
    out_.Error(pointer + "/type", "expected a type name, found " + KindOfValue(type));
  } else {
    const std::string name = Js(resolvedType, "");
    info = FindObjectType(name);
    if (!info) {
      std::vector<std::string> known;
      for (const ObjectType& s : ObjectTypes()) known.push_back(s.type);
      out_.Error(pointer + "/type", "unknown type " + Quoted(name) + DidYouMean(name, known));
    }
  }
  const json& vid = Jobj(object, "vid");
  if (!vid.is_string() || vid.get_ref<const std::string&>().empty()) {
    if (object.contains("vid") && !vid.is_string()) {
      out_.Error(pointer + "/vid", "expected an id text, found " + KindOfValue(vid));
    } else {
      out_.Warning(pointer,
                   "the object has no \"vid\": nothing can refer to it and it is never built");
    }
  }
  CheckPlaceholders(object, pointer, true);
  if (!info) return;
  if (!info->openMembers) CheckMembers(object, ResolvedAt(i), info->members, pointer, true);
  if (info->type == "parameter") CheckParameterBounds(object, pointer);
  if (info->type == "thread") CheckThreadStandard(ResolvedAt(i), pointer);
  if (object.contains("_heightmap")) CheckHeightMap(ResolvedAt(i), pointer);
  if (info->type == "text" && SetsTextString(ResolvedAt(i))) CheckTextString(ResolvedAt(i), pointer);
}

}  // namespace velamanifold::shape

namespace velamanifold {

void CheckDocumentShape(const json& document, const std::string& at, int depth, Diagnostics& out) {
  // Only the objects are solved: included models nest inside attachments, and
  // a copy of those at every level would grow with the square of the nesting.
  json resolved = json::object();
  if (document.is_object() && document.contains("objects")) {
    resolved["objects"] = document["objects"];
    SolveAllObjects(resolved);
    ResolveDropdowns(resolved);
  }
  shape::ShapeChecker(document, resolved, at, depth, out).Run();
}

}  // namespace velamanifold
