// Keeps standard output free of anything but the answer.
#pragma once

#include <string>

namespace velamanifold {

// While alive, descriptor 1 is a duplicate of descriptor 2, so whatever the
// build prints lands on standard error; Write sends the answer to the real
// standard output. The destructor flushes and restores descriptor 1.
class StdoutGuard {
 public:
  StdoutGuard();
  ~StdoutGuard();
  StdoutGuard(const StdoutGuard&) = delete;
  StdoutGuard& operator=(const StdoutGuard&) = delete;

  // Writes `text` to the saved standard output.
  void Write(const std::string& text);

 private:
  int saved_;
};

}  // namespace velamanifold
