// Findings about members: unknown keys, values of the wrong kind, expressions
// that do not evaluate, colours, id lists, outlines and height maps.
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

#include "check/shape_checker.h"

namespace velamanifold::shape {

void ShapeChecker::CheckHeightMap(const json& object, const std::string& pointer) {
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
void ShapeChecker::CheckMembers(const json& record, const json& resolved,
                                const std::vector<MemberInfo>& table, const std::string& pointer,
                                bool topLevel) {
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

void ShapeChecker::CheckValue(const MemberInfo& info, const json& value, const json& resolved,
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
    case ValueKind::kImageId:
      if (!value.is_string()) {
        WrongKind(pointer, info.kind, value, ": it names nothing");
      } else {
        Refer(pointer, value.get<std::string>(), info.kind != ValueKind::kObjectId,
              info.kind == ValueKind::kImageId ? "image" : "vela");
      }
      return;
    case ValueKind::kObjectIds:
    case ValueKind::kAttachmentIds:
    case ValueKind::kCuts:
      CheckIdList(info, value, resolved, pointer);
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

void ShapeChecker::CheckNumber(const json& value, const json& resolved,
                               const std::string& pointer) {
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

void ShapeChecker::CheckFlag(const json& value, const json& resolved, const std::string& pointer) {
  if (value.is_boolean() || value.is_number()) return;
  const std::string text = Js(resolved, "");
  if (resolved.is_string() && (text == "true" || text == "false" || text == "1" || text == "0")) {
    return;
  }
  WrongKind(pointer, ValueKind::kFlag, value,
            value.is_string() ? ": a text other than \"true\" or \"1\" reads as false"
                              : ": the default is used");
}

void ShapeChecker::CheckColour(const json& resolved, const std::string& pointer) {
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

void ShapeChecker::CheckIdList(const MemberInfo& info, const json& value, const json& resolved,
                               const std::string& pointer) {
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
      // The build reads the record's solved numbers, so the check does too.
      const json& solved = resolved.is_array() && k < resolved.size() ? resolved[k] : element;
      CheckMembers(element, solved, kCut, elementPointer, false);
      if (!element.contains("vid"))
        out_.Error(elementPointer, "the cut has no \"vid\": it cuts nothing");
    } else {
      out_.Error(elementPointer,
                 "expected an id, found " + KindOfValue(element) + ": it is skipped");
    }
  }
}

void ShapeChecker::CheckPoints(const json& value, const std::string& pointer) {
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

}  // namespace velamanifold::shape
