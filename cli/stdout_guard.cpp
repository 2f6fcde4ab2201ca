#include "cli/stdout_guard.h"

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

StdoutGuard::StdoutGuard() : saved_(dup(STDOUT_FILENO)) {
  FlushStdout();
  dup2(STDERR_FILENO, STDOUT_FILENO);
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
