// The front end's answer to memory running out inside the geometry library.
// Its containers take memory with malloc and use it without a check, so a
// failed allocation would end in a crash; linked with --wrap for malloc,
// calloc, realloc and posix_memalign (see CMakeLists.txt), every failed
// allocation of the process ends the request here instead: "out of memory"
// on standard error, exit code 1, nothing on standard output (the answer is
// only written once it is complete).
#include <unistd.h>

#include <cerrno>
#include <cstddef>

extern "C" {

void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
int __real_posix_memalign(void** block, size_t alignment, size_t size);

namespace {

[[noreturn]] void OutOfMemory() {
  static const char kMessage[] = "out of memory\n";
  ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  (void)written;
  _exit(1);
}

}  // namespace

void* __wrap_malloc(size_t size) {
  void* block = __real_malloc(size);
  if (block == nullptr && size != 0) OutOfMemory();
  return block;
}

void* __wrap_calloc(size_t count, size_t size) {
  void* block = __real_calloc(count, size);
  if (block == nullptr && count != 0 && size != 0) OutOfMemory();
  return block;
}

void* __wrap_realloc(void* block, size_t size) {
  void* moved = __real_realloc(block, size);
  if (moved == nullptr && size != 0) OutOfMemory();
  return moved;
}

int __wrap_posix_memalign(void** block, size_t alignment, size_t size) {
  int result = __real_posix_memalign(block, alignment, size);
  if (result == ENOMEM) OutOfMemory();
  return result;
}

}  // extern "C"
