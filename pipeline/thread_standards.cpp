#include "pipeline/thread_standards.h"

namespace velamanifold {

const std::map<std::string, MetricSize>& ThreadStandards() {
  static const std::map<std::string, MetricSize> kSizes = {
      {"M3", {3, 0.5}},   {"M4", {4, 0.7}},    {"M5", {5, 0.8}},
      {"M6", {6, 1.0}},   {"M8", {8, 1.25}},   {"M10", {10, 1.5}},
      {"M12", {12, 1.75}}, {"M16", {16, 2.0}}, {"M20", {20, 2.5}},
  };
  return kSizes;
}

}  // namespace velamanifold
