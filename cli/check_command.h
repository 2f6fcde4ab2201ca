// `tarvo-cli check`: a model document's findings for its author.
#pragma once

#include <string>
#include <vector>

namespace velamanifold {

// Runs `tarvo-cli check` with the arguments after "check" and returns the
// exit code: 0 no error, 1 at least one error, 2 usage or an unreadable file.
int RunCheckCommand(const std::vector<std::string>& args);

}  // namespace velamanifold
