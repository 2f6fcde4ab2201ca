// Feeds arbitrary bytes through the request entry of the front end. The
// first byte picks the operation (its value modulo 5) and how the rest is
// read (its value divided by 5, modulo 3):
//   0  the rest is the request text itself;
//   1  the rest is a model document, sent as "jsonStr" (or "partsJson") of a
//      request for object "m" at 16 segments;
//   2  the same for "_all_".
// The document forms let mutations reach the pipeline without first having
// to keep a JSON text escaped inside another. Exceptions of the standard
// family are ordinary failed requests (exit 1 in main); anything else (a
// crash, a sanitizer report, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/request.h"

namespace {

using nlohmann::json;

constexpr const char* kOperations[] = {"probe", "build", "build_xml", "multi_xml",
                                       "cross_section"};

std::string RequestFor(const std::string& op, const std::string& document, const char* vid) {
  json request;
  if (op == "multi_xml") {
    request = {{"partsJson", document}, {"parts", {{vid, "part", "#FF0000"}, {"m", "m", ""}}}};
  } else {
    request = {{"jsonStr", document}, {"vid", vid}, {"segments", 16}, {"wantColors", true}};
  }
  // Bytes that are not UTF-8 are replaced: the request text must stay JSON.
  return request.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string op = kOperations[data[0] % 5];
  const int mode = data[0] / 5 % 3;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode != 0) rest = RequestFor(op, rest, mode == 1 ? "m" : "_all_");
  try {
    velamanifold::AnswerRequest(op, rest);
  } catch (const std::exception&) {
    // A failed request: main reports it on standard error and exits with 1.
  }
  return 0;
}
