// The members each object type reads, with the kind of value each holds: the
// one list that the schema of model documents and the model checker share.
#pragma once

#include <string>
#include <vector>

namespace velamanifold {

// What a member holds, as the readers of the pipeline take it.
enum class ValueKind {
  kNumber,         // a number, a text beginning with one, an "=" expression or a dropdown
  kText,           // any text
  kFlag,           // true or false (also 1 and 0, "true" and "false")
  kObjectId,       // the id of another object
  kObjectIds,      // a list of object ids
  kCuts,           // a list of cuts: object ids or {"vid", "depth"} records
  kAttachmentId,   // the id of an attachment
  kAttachmentIds,  // a list of attachment ids
  kImageId,        // the id of a PNG or JPEG attachment
  kPoints,         // contours of [x, y] points
  kGreyValues,     // a list of grey values 0..255
  kValues,         // a list of values of any kind
  kAny,            // any value
  kRecord,         // an object with the members listed
  kSize,           // kRecord, or a bare number standing for the main dimension
};

struct MemberInfo {
  std::string name;
  ValueKind kind;
  std::vector<MemberInfo> members;  // of kRecord and kSize
};

struct ObjectType {
  std::string type;
  std::string summary;              // one line: what an object of the type makes
  std::vector<MemberInfo> members;  // every member an object of the type may have
  bool openMembers = false;         // members beyond the listed ones are not read, nor reported
};

// Returns every object type with its members, ordered by type name.
const std::vector<ObjectType>& ObjectTypes();

// Returns the object type called `type`, or null for a type no object may have.
const ObjectType* FindObjectType(const std::string& type);

// Returns the members of an attachment record ("vid", "filetype", "content").
const std::vector<MemberInfo>& AttachmentMembers();

// Returns the members a model document may have at its top level.
const std::vector<MemberInfo>& DocumentMembers();

// Returns the member called `name` of `members`, or null.
const MemberInfo* FindMember(const std::vector<MemberInfo>& members, const std::string& name);

// Returns the plain-words name of a kind ("a number", "a list of object ids").
std::string KindName(ValueKind kind);

}  // namespace velamanifold
