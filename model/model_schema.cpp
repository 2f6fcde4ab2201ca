#include "model/model_schema.h"

#include <string>

#include "model/object_keys.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

json Ref(const std::string& name) { return {{"$ref", "#/$defs/" + name}}; }

json RecordSchema(const std::vector<MemberInfo>& members);

json MemberSchema(const MemberInfo& member) {
  switch (member.kind) {
    case ValueKind::kNumber:
      return Ref("numberValue");
    case ValueKind::kText:
      return Ref("textValue");
    case ValueKind::kFlag:
      return Ref("flagValue");
    case ValueKind::kObjectId:
    case ValueKind::kAttachmentId:
    case ValueKind::kImageId:
      return Ref("idValue");
    case ValueKind::kObjectIds:
    case ValueKind::kAttachmentIds:
      return Ref("idList");
    case ValueKind::kCuts:
      return Ref("cutList");
    case ValueKind::kPoints:
      return Ref("pointList");
    case ValueKind::kGreyValues:
      return Ref("greyValueList");
    case ValueKind::kValues:
      return {{"type", "array"}};
    case ValueKind::kAny:
      return json::object();
    case ValueKind::kRecord:
      return RecordSchema(member.members);
    case ValueKind::kSize:
      return {{"anyOf", {Ref("numberValue"), RecordSchema(member.members)}}};
  }
  return json::object();
}

json RecordSchema(const std::vector<MemberInfo>& members) {
  json properties = json::object();
  for (const MemberInfo& member : members) properties[member.name] = MemberSchema(member);
  return {{"type", "object"}, {"properties", properties}, {"additionalProperties", false}};
}

// Value kinds shared by the type definitions; their names end in "Value",
// "List" or "Text" so that no type name can take their place.
json ValueDefinitions() {
  json defs;
  defs["numericText"] = {{"type", "string"},
                         {"pattern", "^\\s*[-+]?(\\d|\\.\\d)"},
                         {"description", "a text that begins with a number; the rest is ignored"}};
  defs["expression"] = {{"type", "string"},
                        {"pattern", "^="},
                        {"description", "arithmetic over parameters: '={{width}} * 2'"}};
  defs["dropdown"] = {{"type", "string"},
                      {"pattern", "^\\|[\\s\\S]*\\*"},
                      {"description", "choices with the chosen one marked: '|10|*20|30'"}};
  defs["numberValue"] = {{"anyOf",
                          {{{"type", "number"}},
                           {{"type", "boolean"}, {"description", "read as 1 and 0"}},
                           Ref("numericText"),
                           Ref("expression"),
                           Ref("dropdown")}}};
  defs["textValue"] = {{"type", "string"}};
  defs["flagValue"] = {{"anyOf",
                        {{{"type", "boolean"}},
                         {{"type", "number"}},
                         {{"enum", {"true", "false", "1", "0"}}},
                         Ref("expression"),
                         Ref("dropdown")}}};
  defs["idValue"] = {{"type", "string"}, {"minLength", 1}};
  defs["idList"] = {{"type", "array"}, {"items", Ref("idValue")}};
  defs["cutList"] = {{"type", "array"},
                     {"items",
                      {{"anyOf",
                        {Ref("idValue"), RecordSchema({{"vid", ValueKind::kObjectId, {}},
                                                       {"depth", ValueKind::kNumber, {}}})}}}}};
  json point = {{"type", "array"}, {"minItems", 2}};
  point["items"] = {{"type", "number"}};
  json contour = {{"type", "array"}};
  contour["items"] = point;
  defs["pointList"] = {{"type", "array"}};
  defs["pointList"]["items"] = contour;
  defs["greyValueList"] = {{"type", "array"}, {"items", Ref("numberValue")}};
  return defs;
}

json TypeDefinition(const ObjectType& info) {
  json definition = RecordSchema(info.members);
  definition["description"] = info.summary;
  if (info.openMembers) definition.erase("additionalProperties");
  return definition;
}

// Returns the rule that an attachment of `filetype` holds `content`.
json ContentWhen(const std::string& filetype, const json& content) {
  json condition;
  condition["properties"]["filetype"]["const"] = filetype;
  json then;
  then["properties"]["content"] = content;
  return {{"if", condition}, {"then", then}};
}

json AttachmentDefinition() {
  json definition = RecordSchema(AttachmentMembers());
  definition["required"] = {"vid", "filetype", "content"};
  definition["properties"]["filetype"] = {{"enum", {"model/stl", "vela", "image/png", "image/jpeg"}}};
  json stl = {{"type", "string"}, {"description", "Base64 of an STL file"}};
  json png = {{"type", "string"}, {"description", "Base64 of a PNG file"}};
  json jpeg = {{"type", "string"}, {"description", "Base64 of a JPEG file"}};
  definition["allOf"] =
      json::array({ContentWhen("model/stl", stl), ContentWhen("vela", {{"$ref", "#"}}),
                   ContentWhen("image/png", png), ContentWhen("image/jpeg", jpeg)});
  return definition;
}

}  // namespace

json ModelSchema() {
  json defs = ValueDefinitions();
  json typeNames = json::array();
  json dispatch = json::array();
  for (const ObjectType& info : ObjectTypes()) {
    typeNames.push_back(info.type);
    defs[info.type] = TypeDefinition(info);
    json condition;
    condition["properties"]["type"]["const"] = info.type;
    dispatch.push_back({{"if", condition}, {"then", Ref(info.type)}});
  }
  defs["objectRecord"] = {{"type", "object"},
                          {"required", {"type"}},
                          {"properties", {{"type", {{"enum", typeNames}}}}},
                          {"allOf", dispatch}};
  defs["attachmentRecord"] = AttachmentDefinition();

  json document = RecordSchema(DocumentMembers());
  document["properties"]["$schema"] = Ref("textValue");
  document["properties"]["objects"] = {{"type", "array"}, {"items", Ref("objectRecord")}};
  document["properties"]["attachments"] = {{"type", "array"}, {"items", Ref("attachmentRecord")}};

  json schema = {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
                 {"title", "tarvo-cli model document"}};
  schema.update(document);
  schema["$defs"] = defs;
  return schema;
}

}  // namespace velamanifold
