#include "import/base64_decode.h"

namespace velamanifold {
std::vector<uint8_t> Base64Decode(const std::string&) { return {}; }
}  // namespace velamanifold
