// Metric threads by name ("M8"): the sizes a thread's "size"."standard" sets.
#pragma once

#include <map>
#include <string>

namespace velamanifold {

struct MetricSize {
  double diameter;
  double pitch;
};

// Returns the ISO coarse-pitch sizes, keyed by exact name.
const std::map<std::string, MetricSize>& ThreadStandards();

}  // namespace velamanifold
