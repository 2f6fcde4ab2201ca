// Keeps standard output free of anything but the answer.
#pragma once

#include <string>

namespace velamanifold {

// Where the build's own printing goes while a guard is alive.
enum class BuildPrinting {
  kToStandardError,  // the request operations' log lines
  kDiscarded,        // commands for people print their own messages only
};

// While alive, descriptor 1 is a duplicate of descriptor 2 (or /dev/null), so
// whatever the build prints lands on standard error (or nowhere); Write sends
// the answer to the real standard output. The destructor flushes and restores
// descriptor 1.
class StdoutGuard {
 public:
  explicit StdoutGuard(BuildPrinting printing = BuildPrinting::kToStandardError);
  ~StdoutGuard();
  StdoutGuard(const StdoutGuard&) = delete;
  StdoutGuard& operator=(const StdoutGuard&) = delete;

  // Writes `text` to the saved standard output.
  void Write(const std::string& text);

 private:
  int saved_;
};

}  // namespace velamanifold
