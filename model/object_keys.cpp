#include "model/object_keys.h"

#include <algorithm>
#include <initializer_list>

namespace velamanifold {

namespace {

using K = ValueKind;

MemberInfo Num(const char* name) { return {name, K::kNumber, {}}; }

// A record of numeric members.
MemberInfo Numbers(const char* name, std::initializer_list<const char*> keys, K kind = K::kRecord) {
  MemberInfo record{name, kind, {}};
  for (const char* key : keys) record.members.push_back(Num(key));
  return record;
}

MemberInfo Record(const char* name, std::vector<MemberInfo> members) {
  return {name, K::kRecord, std::move(members)};
}

MemberInfo Size(std::vector<MemberInfo> members) { return {"size", K::kSize, std::move(members)}; }

MemberInfo SizeRecord(std::vector<MemberInfo> members) {
  return {"size", K::kRecord, std::move(members)};
}

std::vector<MemberInfo> NumberList(std::initializer_list<const char*> keys) {
  std::vector<MemberInfo> members;
  for (const char* key : keys) members.push_back(Num(key));
  return members;
}

// Members every object may have: its id, type, visibility and colour.
std::vector<MemberInfo> Common() {
  return {{"vid", K::kText, {}},
          {"type", K::kText, {}},
          {"visible", K::kFlag, {}},
          Record("color", {{"color", K::kText, {}}}),
          {"name", K::kText, {}}};
}

// A solid: the common members, rotation and move in 3D, and its own members.
ObjectType Solid(const char* type, const char* summary, std::vector<MemberInfo> own) {
  std::vector<MemberInfo> members = Common();
  members.push_back(Numbers("rotate", {"x", "y", "z"}));
  members.push_back(Numbers("move", {"x", "y", "z"}));
  for (MemberInfo& member : own) members.push_back(std::move(member));
  return {type, summary, std::move(members)};
}

// A planar object: the common members, a 2D move and its own members.
ObjectType Planar(const char* type, const char* summary, std::vector<MemberInfo> own) {
  std::vector<MemberInfo> members = Common();
  members.push_back(Numbers("move", {"x", "y", "rotate"}));
  for (MemberInfo& member : own) members.push_back(std::move(member));
  return {type, summary, std::move(members)};
}

// Text and SVG outlines are solids when built and regions when cut or lathed,
// so their move has the 3D and the 2D members.
ObjectType Outline(const char* type, const char* summary, std::vector<MemberInfo> own = {}) {
  std::vector<MemberInfo> members = Common();
  members.push_back(Numbers("rotate", {"x", "y", "z"}));
  members.push_back(Numbers("move", {"x", "y", "z", "rotate"}));
  members.push_back({"_polygons", K::kPoints, {}});
  members.push_back(SizeRecord(NumberList({"offset", "z"})));
  for (MemberInfo& member : own) members.push_back(std::move(member));
  return {type, summary, std::move(members)};
}

// A type that makes no geometry; its other members belong to other programs.
ObjectType Inert(const char* type, const char* summary) {
  return {type,
          summary,
          {{"vid", K::kText, {}}, {"type", K::kText, {}}, {"visible", K::kFlag, {}}},
          true};
}

MemberInfo Ids(const char* name) { return {name, K::kObjectIds, {}}; }

std::vector<ObjectType> MakeObjectTypes() {
  const MemberInfo base = Ids("baseObjects");
  const MemberInfo rectangularGrid =
      Numbers("grid", {"rows", "columns", "x", "y", "width", "length"});
  const MemberInfo radialGrid =
      Numbers("grid", {"count", "instanceCount", "angle", "degree", "height", "radius"});
  const std::vector<MemberInfo> heightMap = {
      {"_heightmap", K::kGreyValues, {}}, Num("_heightmapWidth"), Num("_heightmapHeight")};
  // A relief's grey values come from "_heightmap" or from a picture, which
  // is shrunk to "pixelSize" and "maxPixels" and toned.
  const std::vector<MemberInfo> picture = {{"attachmentVid", K::kImageId, {}},
                                           {"invert", K::kFlag, {}},
                                           Num("contrast"),
                                           Num("gamma"),
                                           Num("pixelSize"),
                                           Num("maxPixels")};
  auto withHeightMap = [&](std::vector<MemberInfo> own) {
    own.insert(own.end(), heightMap.begin(), heightMap.end());
    own.insert(own.end(), picture.begin(), picture.end());
    return own;
  };

  std::vector<ObjectType> table = {
      Solid("cube", "a box standing on the XY plane, one corner at the origin",
            {Size(NumberList({"x", "y", "z", "width", "length", "height", "offset"}))}),
      Solid("cylinder", "a cylinder standing on its base at the origin",
            {Size(NumberList({"diameter", "height", "segments", "tapering"}))}),
      Solid("cone", "a cone standing on its base at the origin, its tip up",
            {Size(NumberList({"diameter", "height", "segments"}))}),
      Solid("sphere", "a sphere centred on the origin", {Size(NumberList({"diameter"}))}),
      Solid("torus", "a ring around the Z axis, centred on the origin",
            {Size(NumberList({"majorDiameter", "tubeDiameter"}))}),
      Solid("triangle", "a right-triangular prism",
            {SizeRecord(NumberList({"width", "height", "depth"}))}),
      Solid("union", "the union of the objects listed", {base}),
      Solid("subtract", "the base objects with the others cut away",
            {base, Ids("subtractObjects")}),
      Solid("intersect", "what the base objects and the others have in common",
            {base, Ids("intersectObjects")}),
      Solid("stretch", "the base objects scaled by percentages",
            {base, Numbers("scale", {"x", "y", "z"})}),
      Solid("mirror", "the base objects mirrored",
            {base, Record("mirror", {{"axis", K::kText, {}}})}),
      Solid("hull", "the convex hull of the solids and planar shapes listed", {base}),
      Solid("round", "the base objects with every edge and corner rounded by a radius",
            {base, Num("radius"), Num("segments"), {"keepSize", K::kFlag, {}}}),
      Solid("grid", "copies of the base objects in rows and columns", {base, rectangularGrid}),
      Solid("rectangularGrid", "copies of the base objects in rows and columns",
            {base, rectangularGrid}),
      Solid("hexagonalGrid", "copies in rows and columns, odd rows shifted by half a column",
            {base, rectangularGrid}),
      Solid("radialArray", "copies of the base objects turned about the Z axis",
            {base, radialGrid}),
      Solid("array", "copies of the base objects turned about the Z axis", {base, radialGrid}),
      Planar("rectangle", "a rectangle with one corner at the origin",
             {SizeRecord(NumberList({"x", "y", "width", "height", "corners"}))}),
      Planar("circle", "a disc centred on the origin",
             {Size(NumberList({"diameter", "segments"}))}),
      Planar("triangle2d", "a right triangle or trapezoid with its right angle at the origin",
             {SizeRecord(NumberList({"x", "y", "width"}))}),
      Planar("merge2d",
             "regions united, cut and intersected, then offset, scaled, mirrored, copied",
             {Ids("union"), Ids("subtract"), Ids("intersect"),
              SizeRecord({Num("offset"),
                          Num("scalex"),
                          Num("scaley"),
                          {"mirror", K::kText, {}},
                          {"copies", K::kText, {}},
                          Num("copiesCount"),
                          Num("copiesDegree"),
                          Num("copiesRows"),
                          Num("copiesColumns"),
                          Num("copiesX"),
                          Num("copiesY")})}),
      Planar("slice", "the section of another object at a height",
             {{"outershell", K::kObjectId, {}}, SizeRecord(NumberList({"z"}))}),
      Solid("lathe", "profiles turned a full circle about the Y axis of the plane",
            {{"outcut", K::kObjectIds, {}},
             {"innercuts", K::kCuts, {}},
             SizeRecord(NumberList({"segments"}))}),
      Solid("loft", "a solid blending a bottom profile into a top profile",
            {Ids("bottom"), Ids("top"),
             SizeRecord(NumberList({"height", "x", "y", "rotate", "wall"}))}),
      Solid("extrudetwist", "profiles extruded up, optionally turning as they rise",
            {base, SizeRecord(NumberList({"height", "twist", "slices"}))}),
      Solid("plate", "a plate cut from an outline, with pockets, holes and bevelled edges",
            {{"outershell", K::kObjectId, {}},
             {"innercuts", K::kCuts, {}},
             SizeRecord(NumberList({"depth", "offset", "faseTopOuter", "faseTopInner"}))}),
      Solid("thread", "a metric threaded rod standing at the origin",
            {Size({Num("diameter"), Num("height"), Num("screw"), {"standard", K::kText, {}}})}),
      Solid("polygons", "the closed meshes of STL attachments",
            {{"attachmentVids", K::kAttachmentIds, {}}}),
      Solid("includepart", "the visible objects of an included model",
            {{"attachmentVid", K::kAttachmentId, {}}, {"partvalues", K::kValues, {}}}),
      Outline("text", "glyph outlines, or a string set in a font, extruded up",
              {{"text", K::kText, {}},
               {"font", K::kText, {}},
               {"style", K::kText, {}},
               Num("fontSize"),
               {"halign", K::kText, {}},
               {"valign", K::kText, {}},
               Num("spacing"),
               Num("lineHeight")}),
      Outline("svg", "drawing outlines extruded up"),
      Solid("bumpmesh", "a flat relief plate raised by a height map",
            withHeightMap({SizeRecord(NumberList({"x", "y", "base", "z"}))})),
      Solid("bumpmeshCylinder", "a relief cylinder raised outwards by a height map",
            withHeightMap({SizeRecord(NumberList({"diameter", "height", "base", "segments"}))})),
      {"parameter",
       "a value that expressions, templates and part values read",
       {{"vid", K::kText, {}},
        {"type", K::kText, {}},
        {"visible", K::kFlag, {}},
        Record("value", {{"value", K::kAny, {}}, Num("min"), Num("max"), Num("step"),
                         {"unit", K::kText, {}}, {"label", K::kText, {}},
                         {"description", K::kText, {}}, {"group", K::kText, {}},
                         {"choices", K::kValues, {}}}),
        Record("info", {Num("isimportant")})}},
      Inert("slicer", "slicer settings; no geometry"),
      Inert("fdm", "printer settings; no geometry"),
      Inert("factory", "production settings; no geometry"),
      Inert("drillbit", "a drill bit; no geometry"),
      Inert("fraese", "a milling cutter; no geometry"),
      Inert("toolbit", "a tool bit; no geometry"),
      Inert("cncLathe", "lathe machine settings; no geometry"),
  };
  std::sort(table.begin(), table.end(),
            [](const ObjectType& a, const ObjectType& b) { return a.type < b.type; });
  return table;
}

}  // namespace

const std::vector<ObjectType>& ObjectTypes() {
  static const std::vector<ObjectType> kTypes = MakeObjectTypes();
  return kTypes;
}

const ObjectType* FindObjectType(const std::string& type) {
  const auto& table = ObjectTypes();
  auto it =
      std::lower_bound(table.begin(), table.end(), type,
                       [](const ObjectType& info, const std::string& t) { return info.type < t; });
  return it != table.end() && it->type == type ? &*it : nullptr;
}

const std::vector<MemberInfo>& AttachmentMembers() {
  static const std::vector<MemberInfo> kMembers = {
      {"vid", K::kText, {}}, {"filetype", K::kText, {}}, {"content", K::kAny, {}}};
  return kMembers;
}

const std::vector<MemberInfo>& DocumentMembers() {
  static const std::vector<MemberInfo> kMembers = {
      {"$schema", K::kText, {}}, {"objects", K::kAny, {}}, {"attachments", K::kAny, {}},
      {"title", K::kText, {}}};
  return kMembers;
}

const MemberInfo* FindMember(const std::vector<MemberInfo>& members, const std::string& name) {
  for (const MemberInfo& member : members) {
    if (member.name == name) return &member;
  }
  return nullptr;
}

std::string KindName(ValueKind kind) {
  switch (kind) {
    case K::kNumber:
      return "a number";
    case K::kText:
      return "a text";
    case K::kFlag:
      return "true or false";
    case K::kObjectId:
      return "an object id";
    case K::kObjectIds:
      return "a list of object ids";
    case K::kCuts:
      return "a list of cuts";
    case K::kAttachmentId:
      return "an attachment id";
    case K::kAttachmentIds:
      return "a list of attachment ids";
    case K::kImageId:
      return "the id of an image attachment";
    case K::kPoints:
      return "a list of contours of [x, y] points";
    case K::kGreyValues:
      return "a list of grey values";
    case K::kValues:
      return "a list";
    case K::kAny:
      return "a value";
    case K::kRecord:
      return "an object";
    case K::kSize:
      return "an object or a number";
  }
  return "a value";
}

}  // namespace velamanifold
