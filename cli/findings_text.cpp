#include "cli/findings_text.h"

namespace velamanifold {

const char* SeverityName(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

std::string FindingLine(const std::string& name, const Diagnostic& finding) {
  std::string text = "tarvo-cli: " + name + ":";
  if (finding.line > 0) {
    text += std::to_string(finding.line) + ":" + std::to_string(finding.column) + ":";
  } else if (!finding.pointer.empty()) {
    text += " " + finding.pointer + ":";
  }
  return text + " " + SeverityName(finding.severity) + ": " + finding.message + "\n";
}

}  // namespace velamanifold
