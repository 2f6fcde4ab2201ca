// Checking a model document for its author: every finding names its place in
// the document as a JSON Pointer. The build operations never run this.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velamanifold {

class VelaPipeline;

enum class Severity { kError, kWarning };

struct Diagnostic {
  std::string pointer;  // JSON Pointer into the document; "" is the whole document
  Severity severity;
  std::string message;
  int line = 0;  // line and column of text that is not JSON (1-based), else 0
  int column = 0;
};

// The findings of one check, in the order they were made.
class Diagnostics {
 public:
  void Error(const std::string& pointer, const std::string& message) {
    items_.push_back({pointer, Severity::kError, message});
  }
  void Warning(const std::string& pointer, const std::string& message) {
    items_.push_back({pointer, Severity::kWarning, message});
  }
  void Add(Diagnostic diagnostic) { items_.push_back(std::move(diagnostic)); }

  const std::vector<Diagnostic>& Items() const { return items_; }

 private:
  std::vector<Diagnostic> items_;
};

// How a document is checked: the values set from outside, the segment count
// of the build, and whether every parameter with bounds is swept.
struct CheckOptions {
  std::vector<std::pair<std::string, std::string>> parameters;  // name, value text
  int segments = 64;
  bool sweep = false;
};

// Returns the findings for the model document `text` (with the options'
// values set in it): text that is not JSON, then the document's shape, ids,
// references, expressions, parameter bounds and attachments, then what its
// visible objects build (nothing, or past a ceiling), then the sweep.
std::vector<Diagnostic> CheckModel(const std::string& text, const CheckOptions& options = {});

// Records the shape findings of `document` under the pointer `at`, reading
// the values its expressions and dropdowns give; included models are checked
// the same way, one level further.
void CheckDocumentShape(const nlohmann::json& document, const std::string& at, int depth,
                        Diagnostics& out);

// Records the findings of building each visible object of the document text
// (already known to be JSON): objects that build nothing, with the reason
// traced through their references, and ceilings met.
void CheckDocumentBuild(const std::string& text, int segments, Diagnostics& out);

// Records the same findings for a document already solved, with the
// pipeline that builds it: solids it has built come from its cache.
void CheckBuiltObjects(VelaPipeline& pipeline, const nlohmann::json& document, Diagnostics& out);

// Returns `key` escaped as one JSON Pointer reference token ("~" as "~0", "/" as "~1").
std::string PointerToken(const std::string& key);

// Returns the name of `names` closest to `name` by edit distance, or "" when
// none is close enough to be a likely misspelling.
std::string NearestName(const std::string& name, const std::vector<std::string>& names);

// Returns "; did you mean \"NAME\"?" for the nearest name, or "".
std::string DidYouMean(const std::string& name, const std::vector<std::string>& names);

}  // namespace velamanifold
