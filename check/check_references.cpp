// Findings about references: ids that name nothing, reference cycles, visible
// operands, and the attachments (STL meshes and included models) they name.
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

void ShapeChecker::Refer(const std::string& pointer, const std::string& id, bool attachment,
                         const std::string& filetype) {
  references_.push_back({pointer, id, attachment, filetype});
}

void ShapeChecker::CheckAttachments() {
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
    } else if (filetype == "image/png" || filetype == "image/jpeg") {
      CheckImage(content, pointer + "/content");
    } else {
      out_.Error(pointer + "/filetype",
                 "unknown file type " + Quoted(filetype) +
                     DidYouMean(filetype, {"model/stl", "vela", "image/png", "image/jpeg"}));
    }
  }
}

bool ShapeChecker::IsBase64Text(const json& content, const std::string& pointer,
                                const std::string& what) {
  if (!content.is_string()) {
    out_.Error(pointer, "expected the Base64 text of " + what + ", found " + KindOfValue(content));
    return false;
  }
  const std::string& text = content.get_ref<const std::string&>();
  auto isBase64 = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' ||
           c == '\n' || c == '\r' || c == ' ' || c == '\t';
  };
  if (!std::all_of(text.begin(), text.end(), isBase64)) {
    out_.Error(pointer, "the content is not Base64: characters outside its alphabet are skipped");
    return false;
  }
  return true;
}

void ShapeChecker::CheckStl(const json& content, const std::string& pointer) {
  if (!IsBase64Text(content, pointer, "an STL file")) return;
  const std::string& text = content.get_ref<const std::string&>();
  if (StlBufferToManifold(Base64Decode(text), 0).IsEmpty()) {
    out_.Error(pointer,
               "the STL mesh is not a closed solid (or not an STL file): it builds nothing");
  }
}

void ShapeChecker::CheckIncluded(const json& content, const std::string& pointer) {
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

void ShapeChecker::CheckReferences() {
  for (const Reference& ref : references_) {
    if (ref.attachment) {
      auto found = attachmentTypes_.find(ref.id);
      if (found == attachmentTypes_.end()) {
        std::vector<std::string> known;
        for (const auto& [id, type] : attachmentTypes_) known.push_back(id);
        out_.Error(ref.pointer,
                   "no attachment has the id \"" + ref.id + "\"" + DidYouMean(ref.id, known));
      } else if (ref.filetype == "image" ? found->second != "image/png" &&
                                               found->second != "image/jpeg"
                                         : found->second != ref.filetype) {
        const std::string wanted =
            ref.filetype == "image" ? "\"image/png\" or \"image/jpeg\"" : Quoted(ref.filetype);
        out_.Error(ref.pointer, "attachment \"" + ref.id + "\" is of file type " +
                                    Quoted(found->second) + ", not " + wanted +
                                    ": it is not used");
      }
    } else if (!objectIds_.count(ref.id)) {
      out_.Error(ref.pointer,
                 "no object has the id \"" + ref.id + "\"" + DidYouMean(ref.id, ids_));
    }
  }
}

// Reports each reference that closes a cycle, with the cycle's path.
void ShapeChecker::CheckCycles() {
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

bool ShapeChecker::IsVisible(const std::string& id) const {
  auto it = objectIds_.find(id);
  return it != objectIds_.end() && Jb(Jobj(ResolvedAt(it->second), "visible"), true);
}

// An operand left visible shows on its own in the whole part as well as
// inside the visible object that uses it: an uncut base hides the cut, a
// cutter fills its hole.
void ShapeChecker::CheckVisibleOperands() {
  // The objects that end up in the whole part: the visible ones and, at any
  // depth, every object they are made of.
  std::map<std::string, std::vector<std::string>> uses;
  for (const Reference& ref : references_) {
    if (!ref.attachment) uses[OwnerId(ref.pointer)].push_back(ref.id);
  }
  std::map<std::string, std::string> partOf;  // id -> the visible object it is inside
  std::vector<std::string> stack;
  for (const std::string& id : ids_) {
    if (IsVisible(id) && !parameters_.count(id) && partOf.emplace(id, id).second) {
      stack.push_back(id);
    }
  }
  while (!stack.empty()) {
    const std::string id = stack.back();
    stack.pop_back();
    for (const std::string& used : uses[id]) {
      if (partOf.emplace(used, partOf[id]).second) stack.push_back(used);
    }
  }
  std::set<std::string> reported;
  for (const Reference& ref : references_) {
    if (ref.attachment || !IsVisible(ref.id) || parameters_.count(ref.id)) continue;
    const std::string owner = OwnerId(ref.pointer);
    if (owner.empty() || owner == ref.id || !partOf.count(owner)) continue;
    if (!reported.insert(ref.id).second) continue;
    const std::string& top = partOf[owner];
    out_.Warning(ObjectPointer(objectIds_.at(ref.id)),
                 "'" + ref.id + "' is visible and also used by '" + owner + "'" +
                     (top == owner ? "" : " (inside '" + top + "')") +
                     ": the whole part shows it on its own as well; give it \"visible\": false");
  }
}

// Returns the id of the object whose member the pointer points into.
std::string ShapeChecker::OwnerId(const std::string& pointer) const {
  const std::string prefix = at_ + "/objects/";
  if (pointer.rfind(prefix, 0) != 0) return "";
  const size_t index = std::stoul(pointer.substr(prefix.size()));
  return Js(Jobj(document_, "objects")[index], "vid", "");
}

}  // namespace velamanifold::shape
