// The sweep: each parameter with bounds is set in turn to its minimum, its
// maximum and each of its choices, the visible objects are built again, and
// every value at which one fails, builds nothing, or splits into more shells
// than at the defaults is reported at the parameter.
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "check/check_sweep.h"
#include "model/json_access.h"
#include "model/limits.h"
#include "model/object_keys.h"
#include "params/parameter_bounds.h"
#include "params/templates.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

// Values tried per parameter at most (a long list of choices is cut here).
constexpr size_t kMaxValuesPerParameter = 32;

struct Outcome {
  std::string failure;  // the build's message when it failed
  bool empty = false;
  size_t shells = 0;
};

// Returns what each visible object of the (unsolved) document builds, by id,
// in document order.
std::vector<std::pair<std::string, Outcome>> BuildVisible(const json& document, int segments) {
  std::vector<std::pair<std::string, Outcome>> outcomes;
  VelaPipeline pipeline;
  pipeline.segments = segments;
  json solved;
  if (!pipeline.LoadDocument(document.dump(), solved)) return outcomes;
  const json& objects = Jobj(solved, "objects");
  if (!objects.is_array()) return outcomes;
  std::map<std::string, bool> seen;
  for (const json& entry : objects) {
    const std::string type = Js(entry, "type", "");
    const std::string vid = Js(entry, "vid", "");
    if (!Jb(Jobj(entry, "visible"), true) || type == "parameter" || vid.empty()) continue;
    if (seen[vid]) continue;
    seen[vid] = true;
    const ObjectType* info = FindObjectType(type);
    if (!info || info->openMembers) continue;
    Outcome outcome;
    try {
      const manifold::Manifold solid = pipeline.BuildInner(solved, vid, nullptr);
      outcome.empty = solid.IsEmpty();
      if (!outcome.empty) outcome.shells = solid.Decompose().size();
    } catch (const LimitError& e) {
      outcome.failure = std::string("meets a ceiling: ") + e.what();
    } catch (const std::exception& e) {
      outcome.failure = std::string("fails to build: ") + e.what();
    }
    outcomes.emplace_back(vid, outcome);
  }
  return outcomes;
}

std::string Shells(size_t n) { return std::to_string(n) + (n == 1 ? " shell" : " shells"); }

// The values a parameter is tried at, each with what it is.
std::vector<std::pair<json, std::string>> TrialValues(const ParameterBounds& bounds,
                                                      const json& current) {
  std::vector<std::pair<json, std::string>> values;
  auto add = [&](const json& value, const std::string& what) {
    if (values.size() >= kMaxValuesPerParameter || value == current) return;
    for (const auto& [known, label] : values) {
      if (known == value) return;
    }
    values.emplace_back(value, what);
  };
  for (const json& choice : bounds.choices) add(choice, "a choice");
  if (bounds.min) add(*bounds.min, "its minimum");
  if (bounds.max) add(*bounds.max, "its maximum");
  return values;
}

std::string ValueText(const json& value) {
  return value.is_number() ? NumberToJsonString(value.get<double>()) : value.dump();
}

}  // namespace

void CheckSweep(const json& document, int segments, Diagnostics& out) {
  const auto defaults = BuildVisible(document, segments);
  for (const auto& [index, parameter] : ParameterObjects(document)) {
    const std::string name = (*parameter)["vid"].get<std::string>();
    const ParameterBounds bounds = ReadParameterBounds(document, *parameter);
    if (!bounds.Any()) continue;
    const json current = SolvedParameterValue(document, *parameter);
    const std::string pointer = "/objects/" + std::to_string(index) + "/value";
    for (const auto& [value, what] : TrialValues(bounds, current)) {
      json trial = document;
      trial["objects"][index]["value"]["value"] = value;
      const auto outcomes = BuildVisible(trial, segments);
      for (size_t k = 0; k < outcomes.size() && k < defaults.size(); ++k) {
        const auto& [id, now] = outcomes[k];
        const Outcome& before = defaults[k].second;
        const std::string at = "at " + name + " = " + ValueText(value) + " (" + what + "), '" + id + "' ";
        if (!now.failure.empty() && before.failure.empty()) {
          out.Error(pointer, at + now.failure);
        } else if (now.empty && !before.empty && before.failure.empty()) {
          out.Error(pointer, at + "builds nothing");
        } else if (now.shells > before.shells && !before.empty) {
          out.Error(pointer, at + "splits into " + Shells(now.shells) + " where it has " +
                                 Shells(before.shells) + " at " + name + " = " + ValueText(current));
        }
      }
    }
  }
}

}  // namespace velamanifold
