// tarvo-cli <op>: answers one JSON request from standard input with one JSON
// answer on standard output.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/export_command.h"
#include "cli/large_stack.h"
#include "cli/request.h"
#include "cli/stdout_guard.h"
#include "cli/usage.h"

namespace {

std::string ReadAll(int fd) {
  std::string text;
  // A request redirected from a file says its size: one allocation, no
  // copies while it grows (attachments make requests of tens of megabytes).
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    text.reserve(static_cast<size_t>(info.st_size));
  }
  char block[65536];
  for (;;) {
    ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(block, static_cast<size_t>(n));
  }
  return text;
}

int Run(const std::string& op) {
  velamanifold::StdoutGuard guard;
  try {
    if (op == "probe") {
      guard.Write(velamanifold::ProbeAnswer());
      return 0;
    }
    // The text is handed over: it is released once parsed.
    velamanifold::Answer answer = velamanifold::AnswerRequest(op, ReadAll(STDIN_FILENO));
    if (answer.exitCode == 2) {
      std::fprintf(stderr, "unbekannte op: %s\n", op.c_str());
      return 2;
    }
    guard.Write(answer.text);
    return answer.exitCode;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

// Returns the exit code of a command for people, run on the same large stack
// as a request: it builds the same models, down to the same deep recursion.
int RunCommand(int (*command)(const std::vector<std::string>&), std::vector<std::string> args) {
  int code = 1;
  velamanifold::RunOnLargeStack(velamanifold::kRequestStackBytes, [&] { code = command(args); });
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // One request per process: memory that is freed stays in the heap for the
  // next allocation instead of going back to the system and returning as
  // fresh pages. The library allocates and frees arrays of tens of megabytes
  // many times while it builds a big mesh; faulting them in took a fifth of
  // the processor time of a 2-million-triangle relief. Blocks of 16 MiB and
  // more are mapped on their own all the same, and unmapped when freed: kept
  // in the heap, the request's texts and a big mesh's arrays left holes that
  // the library's later arrays did not fit, and the heap grew past them (a
  // million-triangle STL request peaked at 446 MiB that way, 398 MiB so, for
  // about a tenth more processor time in page faults).
  // The request runs on a thread of its own (for its large stack); one arena
  // keeps it on this heap too, where a thread's arena would map blocks of
  // over 64 MiB afresh each time and unmap them when freed.
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_ARENA_MAX, 1);
  // A bare call is a usage error (exit 2, standard input untouched); asking
  // for help is not.
  if (argc < 2) {
    std::fputs(velamanifold::ProgramUsage().c_str(), stderr);
    std::fflush(stderr);
    return 2;
  }
  if (velamanifold::IsHelpArgument(argv[1])) {
    std::fputs(velamanifold::ProgramUsage().c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (std::string(argv[1]) == "export") {
    return RunCommand(velamanifold::RunExportCommand, {argv + 2, argv + argc});
  }
  if (std::string(argv[1]) == "check") {
    return RunCommand(velamanifold::RunCheckCommand, {argv + 2, argv + argc});
  }
  return Run(argv[1]);
}
