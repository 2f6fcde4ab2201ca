#include "cli/stdout_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace velamanifold {

namespace {

void FlushStdout() {
  std::cout.flush();
  std::fflush(stdout);
}

}  // namespace

StdoutGuard::StdoutGuard(BuildPrinting printing) : saved_(dup(STDOUT_FILENO)) {
  FlushStdout();
  int target = STDERR_FILENO;
  int null = -1;
  if (printing == BuildPrinting::kDiscarded) {
    null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) target = null;
  }
  dup2(target, STDOUT_FILENO);
  if (null >= 0) close(null);
}

StdoutGuard::~StdoutGuard() {
  FlushStdout();
  if (saved_ >= 0) {
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
}

void StdoutGuard::Write(const std::string& text) {
  if (saved_ < 0) {
    std::cout << text;
    std::cout.flush();
    return;
  }
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = write(saved_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace velamanifold
