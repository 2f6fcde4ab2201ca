// Findings of the checker as lines for people.
#pragma once

#include <string>

#include "check/diagnostics.h"

namespace velamanifold {

// Returns "error" or "warning".
const char* SeverityName(Severity severity);

// Returns the finding as one line ending in a line feed:
// "tarvo-cli: NAME: POINTER: error: MESSAGE", with LINE:COLUMN in place of
// the pointer for text that is not JSON, and no pointer for the whole document.
std::string FindingLine(const std::string& name, const Diagnostic& finding);

}  // namespace velamanifold
