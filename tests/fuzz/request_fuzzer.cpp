// Feeds arbitrary bytes through the request entry of the front end: the
// first byte picks the operation, the rest is the request text. Exceptions
// of the standard family are ordinary failed requests (exit 1 in main);
// anything else (a crash, a sanitizer report, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "cli/request.h"

namespace {

constexpr const char* kOperations[] = {"probe", "build", "build_xml", "multi_xml",
                                       "cross_section"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string op = kOperations[data[0] % 5];
  const std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    velamanifold::AnswerRequest(op, request);
  } catch (const std::exception&) {
    // A failed request: main reports it on standard error and exits with 1.
  }
  return 0;
}
