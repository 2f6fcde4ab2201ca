// The walk over one model document that records its shape findings: each
// kind of finding is made in a file of its own (members, placeholders,
// references and attachments) beside the walk itself.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/diagnostics.h"
#include "model/object_keys.h"

namespace velamanifold::shape {

using json = nlohmann::json;

std::string Quoted(const std::string& text);

std::string KindOfValue(const json& value);

bool IsExpression(const json& value);

bool IsDropdown(const json& value);

bool StartsWithNumber(const std::string& text, double& out);

// True when the whole text is one number, as solved expressions are.
bool IsWholeNumber(const std::string& text);

// The members of `table` as names, for suggestions.
std::vector<std::string> Names(const std::vector<MemberInfo>& table);

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

  void Run();

 private:
  std::string ObjectPointer(size_t i) const;
  const json& ResolvedAt(size_t i) const;
  void UnknownKey(const std::string& pointer, const std::string& key,
                  const std::vector<MemberInfo>& known);
  void WrongKind(const std::string& pointer, ValueKind kind, const json& value,
                 const std::string& consequence);
  void CollectIds(const json& objects);
  void CheckObject(const json& object, size_t i);
  void CheckHeightMap(const json& object, const std::string& pointer);
  // A "text" object set from its string: font, style, alignment, sizes and
  // the characters the font has no glyph for.
  void CheckTextString(const json& resolved, const std::string& pointer);
  // The Base64 content of a PNG or JPEG attachment, decoded as a relief would.
  void CheckImage(const json& content, const std::string& pointer);
  // Checks every member of a record against the members its kind allows.
  void CheckMembers(const json& record, const json& resolved, const std::vector<MemberInfo>& table,
                    const std::string& pointer, bool topLevel);
  void CheckValue(const MemberInfo& info, const json& value, const json& resolved,
                  const std::string& pointer);
  void CheckNumber(const json& value, const json& resolved, const std::string& pointer);
  void CheckFlag(const json& value, const json& resolved, const std::string& pointer);
  void CheckColour(const json& resolved, const std::string& pointer);
  void CheckIdList(const MemberInfo& info, const json& value, const json& resolved,
                   const std::string& pointer);
  void CheckPoints(const json& value, const std::string& pointer);
  // Every "=" text of the object (its "vid" excepted) whose placeholders name
  // parameters the document does not have.
  void CheckPlaceholders(const json& value, const std::string& pointer, bool topLevel);
  // Returns the parameter names of the placeholders of an expression text.
  static std::vector<std::string> PlaceholderNames(const std::string& text);
  // A parameter's value outside its own "min", "max", "step" or "choices".
  void CheckParameterBounds(const json& object, const std::string& pointer);
  // A thread "standard" the build does not know.
  void CheckThreadStandard(const json& resolved, const std::string& pointer);
  bool NamesDropdownParameter(const std::string& expression) const;
  void Refer(const std::string& pointer, const std::string& id, bool attachment,
             const std::string& filetype = "");
  void CheckAttachments();
  // Reports content that is not Base64 text; returns whether it is.
  bool IsBase64Text(const json& content, const std::string& pointer, const std::string& what);
  void CheckStl(const json& content, const std::string& pointer);
  void CheckIncluded(const json& content, const std::string& pointer);
  void CheckReferences();
  // Reports each reference that closes a cycle, with the cycle's path.
  void CheckCycles();
  bool IsVisible(const std::string& id) const;
  // An operand left visible shows on its own in the whole part as well as
  // inside the visible object that uses it: an uncut base hides the cut, a
  // cutter fills its hole.
  void CheckVisibleOperands();
  // Returns the id of the object whose member the pointer points into.
  std::string OwnerId(const std::string& pointer) const;

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

}  // namespace velamanifold::shape
