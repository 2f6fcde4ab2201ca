// One request of the command line: operation name and request text in,
// answer text out.
#pragma once

#include <string>

namespace velamanifold {

struct Answer {
  int exitCode = 0;  // 0 answered, 2 unknown operation (text then empty)
  std::string text;  // compact JSON followed by "\n"
};

// Returns the answer of the probe operation, which reads no request.
std::string ProbeAnswer();

// Returns the answer of operation `op` to the request text. Throws an
// exception of the standard family (its message for standard error) when the
// request fails; an unknown operation gives exit code 2 once the request
// text has parsed. The text is taken by value and released once parsed.
Answer AnswerRequest(const std::string& op, std::string requestText);

}  // namespace velamanifold
