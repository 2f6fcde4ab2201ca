// The shape findings of a model document: members and their kinds, ids and
// references, placeholders, expressions, colours, attachments, height maps.
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

namespace velamanifold {

namespace {

using json = nlohmann::json;

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

// True when the whole text is one number, as solved expressions are.
bool IsWholeNumber(const std::string& text) {
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return false;
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r') ++end;
  return *end == '\0';
}

// The members of `table` as names, for suggestions.
std::vector<std::string> Names(const std::vector<MemberInfo>& table) {
  std::vector<std::string> names;
  for (const MemberInfo& info : table) names.push_back(info.name);
  return names;
}

struct Reference {
  std::string pointer;  // where the id is written
  std::string id;
  bool attachment;       // names an attachment rather than an object
  std::string filetype;  // the attachment's expected file type
};

// One document's walk: what it found out about ids and references on the way.
class ShapeChecker {
 public:
  ShapeChecker(const json& document, const json& resolved, const std::string& at, int depth,
               Diagnostics& out)
      : document_(document), resolved_(resolved), at_(at), depth_(depth), out_(out) {}

  void Run() {
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

 private:
  std::string ObjectPointer(size_t i) const { return at_ + "/objects/" + std::to_string(i); }

  const json& ResolvedAt(size_t i) const {
    const json& objects = Jobj(resolved_, "objects");
    return objects.is_array() && i < objects.size() ? objects[i] : Jobj(json(), "");
  }

  void UnknownKey(const std::string& pointer, const std::string& key,
                  const std::vector<MemberInfo>& known) {
    out_.Error(pointer, "unknown key \"" + key + "\" is not read" + DidYouMean(key, Names(known)));
  }

  void WrongKind(const std::string& pointer, ValueKind kind, const json& value,
                 const std::string& consequence) {
    out_.Error(pointer,
               "expected " + KindName(kind) + ", found " + KindOfValue(value) + consequence);
  }

  void CollectIds(const json& objects) {
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

  void CheckObject(const json& object, size_t i) {
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
    if (object.contains("_heightmap")) CheckHeightMap(ResolvedAt(i), pointer);
  }

  void CheckHeightMap(const json& object, const std::string& pointer) {
    const json& values = Jobj(object, "_heightmap");
    const int64_t w = Ji(Jobj(object, "_heightmapWidth"), 0);
    const int64_t h = Ji(Jobj(object, "_heightmapHeight"), 0);
    if (!values.is_array()) return;
    if (w < 1 || h < 1) {
      out_.Error(pointer, "the height map's \"_heightmapWidth\" and \"_heightmapHeight\" are " +
                              std::to_string(w) + " x " + std::to_string(h) +
                              ": it builds nothing");
    } else if (static_cast<int64_t>(values.size()) < w * h) {
      out_.Error(pointer + "/_heightmap", "the height map holds " + std::to_string(values.size()) +
                                              " grey values, fewer than the " + std::to_string(w) +
                                              " x " + std::to_string(h) + " = " +
                                              std::to_string(w * h) +
                                              " its width and height state: it builds nothing");
    }
  }

  // Checks every member of a record against the members its kind allows.
  void CheckMembers(const json& record, const json& resolved, const std::vector<MemberInfo>& table,
                    const std::string& pointer, bool topLevel) {
    for (auto it = record.begin(); it != record.end(); ++it) {
      const std::string memberPointer = pointer + "/" + PointerToken(it.key());
      const MemberInfo* info = FindMember(table, it.key());
      if (!info) {
        UnknownKey(memberPointer, it.key(), table);
        continue;
      }
      if (topLevel && (it.key() == "vid" || it.key() == "type")) continue;
      CheckValue(*info, *it, Jobj(resolved, it.key()), memberPointer);
    }
  }

  void CheckValue(const MemberInfo& info, const json& value, const json& resolved,
                  const std::string& pointer) {
    switch (info.kind) {
      case ValueKind::kNumber:
        CheckNumber(value, resolved, pointer);
        return;
      case ValueKind::kText:
        if (!value.is_string()) WrongKind(pointer, info.kind, value, ": it is not read");
        if (info.name == "color" && value.is_string()) CheckColour(resolved, pointer);
        return;
      case ValueKind::kFlag:
        CheckFlag(value, resolved, pointer);
        return;
      case ValueKind::kObjectId:
      case ValueKind::kAttachmentId:
        if (!value.is_string()) {
          WrongKind(pointer, info.kind, value, ": it names nothing");
        } else {
          Refer(pointer, value.get<std::string>(), info.kind == ValueKind::kAttachmentId, "vela");
        }
        return;
      case ValueKind::kObjectIds:
      case ValueKind::kAttachmentIds:
      case ValueKind::kCuts:
        CheckIdList(info, value, pointer);
        return;
      case ValueKind::kPoints:
        CheckPoints(value, pointer);
        return;
      case ValueKind::kGreyValues:
      case ValueKind::kValues:
        if (!value.is_array()) WrongKind(pointer, info.kind, value, ": it is not read");
        return;
      case ValueKind::kAny:
        return;
      case ValueKind::kSize:
        if (!value.is_object()) {
          CheckNumber(value, resolved, pointer);
          return;
        }
        [[fallthrough]];
      case ValueKind::kRecord:
        if (!value.is_object()) {
          WrongKind(pointer, info.kind, value, ": its members take their defaults");
          return;
        }
        CheckMembers(value, resolved, info.members, pointer, false);
        return;
    }
  }

  void CheckNumber(const json& value, const json& resolved, const std::string& pointer) {
    if (value.is_number() || value.is_boolean()) return;
    if (!value.is_string()) {
      WrongKind(pointer, ValueKind::kNumber, value, ": the default is used");
      return;
    }
    const std::string text = Js(resolved, "");
    double number = 0;
    const bool numeric = resolved.is_string() && StartsWithNumber(text, number);
    if (IsExpression(value)) {
      // Reported with the placeholder that names the dropdown parameter.
      if (NamesDropdownParameter(value.get<std::string>())) return;
      if (!IsWholeNumber(text)) {
        std::string reason;
        try {
          EvalMath(text);
        } catch (const std::exception& e) {
          reason = ", where the evaluator stops: " + std::string(e.what());
        }
        const std::string read =
            numeric ? "only its leading number is read" : "the default is used";
        out_.Error(pointer, "expression " + Quoted(value.get<std::string>()) +
                                " does not evaluate: it reads " + Quoted(text) + " once solved" +
                                reason + "; " + read);
      } else if (!std::isfinite(number)) {
        out_.Error(pointer, "expression " + Quoted(value.get<std::string>()) + " gives " + text +
                                " (a division by zero?)");
      }
      return;
    }
    if (!numeric) {
      const std::string what =
          IsDropdown(value) ? "the chosen entry " + Quoted(text) : Quoted(text);
      out_.Error(pointer, "expected a number, found " + what + ": the default is used");
    }
  }

  void CheckFlag(const json& value, const json& resolved, const std::string& pointer) {
    if (value.is_boolean() || value.is_number()) return;
    const std::string text = Js(resolved, "");
    if (resolved.is_string() && (text == "true" || text == "false" || text == "1" || text == "0")) {
      return;
    }
    WrongKind(pointer, ValueKind::kFlag, value,
              value.is_string() ? ": a text other than \"true\" or \"1\" reads as false"
                                : ": the default is used");
  }

  void CheckColour(const json& resolved, const std::string& pointer) {
    std::string text = Js(resolved, "");
    const std::string written = text;
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.empty()) return;
    const bool hex = std::all_of(text.begin(), text.end(), [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c));
    });
    if (text.size() != 3 && text.size() != 6 && text.size() != 8) {
      out_.Warning(pointer, "colour " + Quoted(written) +
                                " has neither 3, 6 nor 8 hexadecimal digits: it is ignored");
    } else if (!hex) {
      out_.Error(pointer, "colour " + Quoted(written) +
                              " is not hexadecimal: every build with colours fails on it");
    }
  }

  void CheckIdList(const MemberInfo& info, const json& value, const std::string& pointer) {
    if (!value.is_array()) {
      WrongKind(pointer, info.kind, value, ": it names nothing");
      return;
    }
    const bool attachment = info.kind == ValueKind::kAttachmentIds;
    const std::string filetype = attachment ? "model/stl" : "";
    for (size_t k = 0; k < value.size(); ++k) {
      const json& element = value[k];
      const std::string elementPointer = pointer + "/" + std::to_string(k);
      if (element.is_string()) {
        Refer(elementPointer, element.get<std::string>(), attachment, filetype);
      } else if (info.kind == ValueKind::kCuts && element.is_object()) {
        static const std::vector<MemberInfo> kCut = {{"vid", ValueKind::kObjectId, {}},
                                                     {"depth", ValueKind::kNumber, {}}};
        CheckMembers(element, element, kCut, elementPointer, false);
        if (!element.contains("vid"))
          out_.Error(elementPointer, "the cut has no \"vid\": it cuts nothing");
      } else {
        out_.Error(elementPointer,
                   "expected an id, found " + KindOfValue(element) + ": it is skipped");
      }
    }
  }

  void CheckPoints(const json& value, const std::string& pointer) {
    if (!value.is_array()) {
      WrongKind(pointer, ValueKind::kPoints, value, ": there is no outline");
      return;
    }
    for (size_t c = 0; c < value.size(); ++c) {
      if (!value[c].is_array()) continue;
      for (size_t p = 0; p < value[c].size(); ++p) {
        const json& point = value[c][p];
        if (!point.is_array() || point.size() < 2) continue;
        for (size_t k = 0; k < 2; ++k) {
          if (!point[k].is_number()) {
            out_.Error(pointer + "/" + std::to_string(c) + "/" + std::to_string(p) + "/" +
                           std::to_string(k),
                       "a point's coordinates are numbers, found " + KindOfValue(point[k]) +
                           ": building the object fails");
            return;
          }
        }
      }
    }
  }

  void Refer(const std::string& pointer, const std::string& id, bool attachment,
             const std::string& filetype = "") {
    references_.push_back({pointer, id, attachment, filetype});
  }

  // Every "=" text of the object (its "vid" excepted) whose placeholders name
  // parameters the document does not have.
  void CheckPlaceholders(const json& value, const std::string& pointer, bool topLevel) {
    if (value.is_object()) {
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (topLevel && it.key() == "vid") continue;
        CheckPlaceholders(*it, pointer + "/" + PointerToken(it.key()), false);
      }
    } else if (value.is_array()) {
      for (size_t k = 0; k < value.size(); ++k) {
        CheckPlaceholders(value[k], pointer + "/" + std::to_string(k), false);
      }
    } else if (IsExpression(value)) {
      for (const std::string& name : PlaceholderNames(value.get_ref<const std::string&>())) {
        if (!parameters_.count(name)) {
          std::vector<std::string> known(parameters_.begin(), parameters_.end());
          out_.Error(pointer,
                     "placeholder {{" + name + "}} names no parameter" + DidYouMean(name, known));
        } else if (auto dropdown = dropdownParameters_.find(name);
                   dropdown != dropdownParameters_.end()) {
          out_.Warning(pointer,
                       "placeholder {{" + name +
                           "}} names a parameter whose value is the dropdown " +
                           Quoted(dropdown->second) +
                           ": expressions are solved before dropdowns, so it is solved only where "
                           "the caller first writes the chosen entry into the parameter (as the "
                           "configurator page does); built as it stands, the expression fails");
        }
      }
    }
  }

  // Returns the parameter names of the placeholders of an expression text.
  static std::vector<std::string> PlaceholderNames(const std::string& text) {
    std::vector<std::string> names;
    size_t open = text.find("{{");
    while (open != std::string::npos) {
      const size_t close = text.find("}}", open + 2);
      if (close == std::string::npos) break;
      const std::string inner = text.substr(open + 2, close - open - 2);
      if (!inner.empty() && inner.find('}') == std::string::npos) {
        names.push_back(inner.substr(0, inner.find('|')));
      }
      open = text.find("{{", close + 2);
    }
    return names;
  }

  bool NamesDropdownParameter(const std::string& expression) const {
    for (const std::string& name : PlaceholderNames(expression)) {
      if (dropdownParameters_.count(name)) return true;
    }
    return false;
  }

  void CheckAttachments() {
    const json& attachments = Jobj(document_, "attachments");
    if (!document_.contains("attachments")) return;
    if (!attachments.is_array()) {
      out_.Error(at_ + "/attachments",
                 "expected a list of attachments, found " + KindOfValue(attachments));
      return;
    }
    for (size_t i = 0; i < attachments.size(); ++i) {
      const std::string pointer = at_ + "/attachments/" + std::to_string(i);
      const json& attachment = attachments[i];
      if (!attachment.is_object()) {
        out_.Error(pointer, "expected an attachment record, found " + KindOfValue(attachment));
        continue;
      }
      for (auto it = attachment.begin(); it != attachment.end(); ++it) {
        if (!FindMember(AttachmentMembers(), it.key())) {
          UnknownKey(pointer + "/" + PointerToken(it.key()), it.key(), AttachmentMembers());
        }
      }
      const std::string id = Js(attachment, "vid", "");
      const std::string filetype = Js(attachment, "filetype", "");
      if (id.empty()) out_.Warning(pointer, "the attachment has no \"vid\": nothing can use it");
      if (!id.empty() && !attachmentTypes_.emplace(id, filetype).second) {
        out_.Error(pointer + "/vid", "duplicate attachment id \"" + id + "\"");
      }
      const json& content = Jobj(attachment, "content");
      if (filetype == "model/stl") {
        CheckStl(content, pointer + "/content");
      } else if (filetype == "vela") {
        CheckIncluded(content, pointer + "/content");
      } else {
        out_.Error(pointer + "/filetype", "unknown file type " + Quoted(filetype) +
                                              DidYouMean(filetype, {"model/stl", "vela"}));
      }
    }
  }

  void CheckStl(const json& content, const std::string& pointer) {
    if (!content.is_string()) {
      out_.Error(pointer, "expected the Base64 text of an STL file, found " + KindOfValue(content));
      return;
    }
    const std::string& text = content.get_ref<const std::string&>();
    auto isBase64 = [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' ||
             c == '\n' || c == '\r' || c == ' ' || c == '\t';
    };
    if (!std::all_of(text.begin(), text.end(), isBase64)) {
      out_.Error(pointer, "the content is not Base64: characters outside its alphabet are skipped");
      return;
    }
    if (StlBufferToManifold(Base64Decode(text), 0).IsEmpty()) {
      out_.Error(pointer,
                 "the STL mesh is not a closed solid (or not an STL file): it builds nothing");
    }
  }

  void CheckIncluded(const json& content, const std::string& pointer) {
    if (!content.is_object()) {
      out_.Error(pointer, "expected an included model document, found " + KindOfValue(content));
      return;
    }
    if (depth_ + 1 >= kMaxObjectDepth) {
      out_.Error(pointer,
                 "included models nest deeper than " + std::to_string(kMaxObjectDepth) + " levels");
      return;
    }
    CheckDocumentShape(content, pointer, depth_ + 1, out_);
  }

  void CheckReferences() {
    for (const Reference& ref : references_) {
      if (ref.attachment) {
        auto found = attachmentTypes_.find(ref.id);
        if (found == attachmentTypes_.end()) {
          std::vector<std::string> known;
          for (const auto& [id, type] : attachmentTypes_) known.push_back(id);
          out_.Error(ref.pointer,
                     "no attachment has the id \"" + ref.id + "\"" + DidYouMean(ref.id, known));
        } else if (found->second != ref.filetype) {
          out_.Error(ref.pointer, "attachment \"" + ref.id + "\" is of file type " +
                                      Quoted(found->second) + ", not " + Quoted(ref.filetype) +
                                      ": it is not used");
        }
      } else if (!objectIds_.count(ref.id)) {
        out_.Error(ref.pointer,
                   "no object has the id \"" + ref.id + "\"" + DidYouMean(ref.id, ids_));
      }
    }
  }

  // Reports each reference that closes a cycle, with the cycle's path.
  void CheckCycles() {
    std::map<std::string, std::vector<const Reference*>> edges;
    for (const Reference& ref : references_) {
      if (ref.attachment) continue;
      const std::string owner = OwnerId(ref.pointer);
      if (!owner.empty()) edges[owner].push_back(&ref);
    }
    std::map<std::string, int> state;  // 1 on the path, 2 done
    std::vector<std::string> path;
    // Iterative depth-first search: reference chains may be as long as the document.
    struct Frame {
      std::string id;
      size_t next;
    };
    for (const std::string& start : ids_) {
      if (state[start] != 0) continue;
      std::vector<Frame> stack = {{start, 0}};
      state[start] = 1;
      path.push_back(start);
      while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& out = edges[frame.id];
        if (frame.next == out.size()) {
          state[frame.id] = 2;
          path.pop_back();
          stack.pop_back();
          continue;
        }
        const Reference* ref = out[frame.next++];
        if (!objectIds_.count(ref->id)) continue;
        const int s = state[ref->id];
        if (s == 1) {
          std::string cycle;
          bool on = false;
          for (const std::string& id : path) {
            if (id == ref->id) on = true;
            if (on) cycle += "'" + id + "' -> ";
          }
          out_.Error(ref->pointer, "reference cycle " + cycle + "'" + ref->id +
                                       "': the object met again on the way builds nothing there");
        } else if (s == 0) {
          state[ref->id] = 1;
          path.push_back(ref->id);
          stack.push_back({ref->id, 0});
        }
      }
    }
  }

  bool IsVisible(const std::string& id) const {
    auto it = objectIds_.find(id);
    return it != objectIds_.end() && Jb(Jobj(ResolvedAt(it->second), "visible"), true);
  }

  // An operand left visible shows on its own in the whole part as well as
  // inside the visible object that uses it: an uncut base hides the cut, a
  // cutter fills its hole.
  void CheckVisibleOperands() {
    std::set<std::string> reported;
    for (const Reference& ref : references_) {
      if (ref.attachment || !IsVisible(ref.id) || parameters_.count(ref.id)) continue;
      const std::string owner = OwnerId(ref.pointer);
      if (owner.empty() || owner == ref.id || !IsVisible(owner)) continue;
      if (!reported.insert(ref.id).second) continue;
      out_.Warning(ObjectPointer(objectIds_.at(ref.id)),
                   "'" + ref.id + "' is visible and also used by '" + owner +
                       "': the whole part shows it on its own as well; give it \"visible\": false");
    }
  }

  // Returns the id of the object whose member the pointer points into.
  std::string OwnerId(const std::string& pointer) const {
    const std::string prefix = at_ + "/objects/";
    if (pointer.rfind(prefix, 0) != 0) return "";
    const size_t index = std::stoul(pointer.substr(prefix.size()));
    return Js(Jobj(document_, "objects")[index], "vid", "");
  }

  const json& document_;
  const json& resolved_;
  std::string at_;
  int depth_;
  Diagnostics& out_;
  std::map<std::string, size_t> objectIds_;
  std::vector<std::string> ids_;
  std::set<std::string> parameters_;
  std::map<std::string, std::string> dropdownParameters_;  // id -> dropdown text
  std::map<std::string, std::string> attachmentTypes_;
  std::vector<Reference> references_;
};

}  // namespace

void CheckDocumentShape(const json& document, const std::string& at, int depth, Diagnostics& out) {
  // Only the objects are solved: included models nest inside attachments, and
  // a copy of those at every level would grow with the square of the nesting.
  json resolved = json::object();
  if (document.is_object() && document.contains("objects")) {
    resolved["objects"] = document["objects"];
    SolveAllObjects(resolved);
    ResolveDropdowns(resolved);
  }
  ShapeChecker(document, resolved, at, depth, out).Run();
}

}  // namespace velamanifold
