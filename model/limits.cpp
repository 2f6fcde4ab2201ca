#include "model/limits.h"


namespace velamanifold {

int CheckSegments(int64_t segments, const std::string& what) {
  return static_cast<int>(CheckCount(segments, kMaxSegments, what));
}

int64_t CheckCount(int64_t count, int64_t limit, const std::string& what) {
  if (count > limit) {
    throw LimitError(what + " of " + std::to_string(count) + " exceeds the limit of " +
                             std::to_string(limit));
  }
  return count;
}

}  // namespace velamanifold
