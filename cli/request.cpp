#include "cli/request.h"

#include <bit>
#include <climits>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/base64.h"
#include "cli/json_string.h"
#include "cli/large_stack.h"
#include "export/threemf.h"
#include "model/json_parse.h"
#include "model/limits.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

static_assert(std::endian::native == std::endian::little,
              "mesh buffers are answered as little-endian bytes");

using nlohmann::json;

std::string Finish(const json& answer) {
  std::string text = answer.dump();
  text.push_back('\n');
  return text;
}

// Returns the string under `key`, moved out of the request (model documents
// can be tens of megabytes). Throws the JSON library's errors for a missing
// key or another kind of value.
std::string TakeString(json& request, const char* key) {
  json& value = request.at(key);
  if (!value.is_string()) return value.get<std::string>();  // throws type_error
  return std::move(value.get_ref<std::string&>());
}

// Applies the request's "segments" when it is a number; other values are ignored.
void ReadSegments(const json& request, VelaPipeline& pipeline) {
  auto it = request.find("segments");
  if (it == request.end() || !it->is_number()) return;
  double value = it->get<double>();
  int64_t count = value >= 9e18 ? INT64_MAX : value <= -9e18 ? INT64_MIN : static_cast<int64_t>(value);
  CheckSegments(count, "segment count");
  pipeline.segments = count < INT_MIN ? INT_MIN : static_cast<int>(count);
}

json RingsOf(const manifold::CrossSection& region) {
  json rings = json::array();
  for (const auto& polygon : region.ToPolygons()) {
    json ring = json::array();
    ring.get_ref<json::array_t&>().reserve(polygon.size() * 2);
    for (const auto& p : polygon) {
      ring.push_back(p.x);
      ring.push_back(p.y);
    }
    rings.push_back(std::move(ring));
  }
  return rings;
}

// Returns the "build" answer of a non-empty solid. Written by hand rather than
// through the JSON serialiser: the keys are fixed (in ascending order) and the
// Base64 texts need no escaping, so each buffer is encoded once, straight into
// the answer.
std::string MeshAnswer(const manifold::Manifold& solid) {
  const manifold::MeshGL mesh = solid.GetMeshGL();
  const size_t vpBytes = mesh.vertProperties.size() * sizeof(float);
  const size_t tvBytes = mesh.triVerts.size() * sizeof(uint32_t);
  std::string text;
  text.reserve(128 + (vpBytes + 2) / 3 * 4 + (tvBytes + 2) / 3 * 4);
  text += solid.Volume() < 0 ? "{\"flipWinding\":true" : "{\"flipWinding\":false";
  text += ",\"numProp\":" + std::to_string(mesh.numProp);
  text += ",\"numTri\":" + std::to_string(mesh.triVerts.size() / 3);
  text += ",\"tv\":\"";
  AppendBase64(text, mesh.triVerts.data(), tvBytes);
  text += "\",\"vp\":\"";
  AppendBase64(text, mesh.vertProperties.data(), vpBytes);
  text += "\"}\n";
  return text;
}

// Returns the answer carrying a 3MF document. Written by hand: documents run
// to tens of megabytes, and the JSON library's writer escapes a byte at a time.
std::string XmlAnswer(const std::string& xml) {
  std::string text;
  text.reserve(xml.size() + xml.size() / 4 + 16);  // attribute quotes gain a backslash
  text += "{\"xml\":";
  AppendJsonString(text, xml);
  text += "}\n";
  return text;
}

std::vector<VelaPipeline::ThreeMFBuildPart> PartsOf(const json& request) {
  std::vector<VelaPipeline::ThreeMFBuildPart> parts;
  auto it = request.find("parts");
  if (it == request.end() || !it->is_array()) return parts;
  auto textAt = [](const json& entry, size_t i) {
    return entry.size() > i && entry[i].is_string() ? entry[i].get<std::string>() : std::string();
  };
  for (const json& entry : *it) {
    if (!entry.is_array() || entry.empty() || !entry[0].is_string()) continue;
    VelaPipeline::ThreeMFBuildPart part{textAt(entry, 0), textAt(entry, 1), textAt(entry, 2)};
    if (part.vid.empty()) continue;
    parts.push_back(std::move(part));
  }
  return parts;
}

Answer AnswerOnThisThread(const std::string& op, std::string& requestText) {
  json request = ParseJson(requestText);
  // Parsed, the text is no longer needed: a request carrying a big attachment
  // gives its memory to the build.
  std::string().swap(requestText);
  const json empty = json{{"empty", true}};

  if (op == "build" || op == "build_xml" || op == "cross_section") {
    std::string jsonStr = TakeString(request, "jsonStr");
    std::string vid = TakeString(request, "vid");
    VelaPipeline pipeline;
    ReadSegments(request, pipeline);
    if (op == "cross_section") {
      manifold::CrossSection region = pipeline.Resolve2DCrossSection(jsonStr, vid);
      if (region.IsEmpty()) return {0, Finish(empty)};
      return {0, Finish(json{{"rings", RingsOf(region)}})};
    }
    if (op == "build") {
      auto it = request.find("wantColors");
      pipeline.wantColors = it != request.end() && it->get<bool>();
    } else {
      pipeline.wantColors = true;
    }
    json document;
    manifold::Manifold solid;
    if (pipeline.LoadDocument(jsonStr, document)) {
      std::string().swap(jsonStr);  // parsed: its memory goes to the build
      solid = pipeline.BuildInner(document, vid, nullptr);
    }
    if (solid.IsEmpty()) return {0, Finish(empty)};
    if (op == "build") return {0, MeshAnswer(solid)};
    auto name = request.find("name");
    std::string objectName = name == request.end() ? "model" : name->get<std::string>();
    return {0, XmlAnswer(ManifoldTo3MFModelXML(solid, objectName))};
  }
  if (op == "multi_xml") {
    std::string partsJson = TakeString(request, "partsJson");
    VelaPipeline pipeline;
    std::string xml = pipeline.Build3MFMultiObjectXML(partsJson, PartsOf(request));
    return {0, XmlAnswer(xml)};
  }
  return {2, ""};
}

}  // namespace

std::string ProbeAnswer() { return Finish(json{{"ok", true}, {"version", "1.0.0"}}); }

Answer AnswerRequest(const std::string& op, std::string requestText) {
  if (op == "probe") return {0, ProbeAnswer()};
  Answer answer;
  RunOnLargeStack(kRequestStackBytes, [&] { answer = AnswerOnThisThread(op, requestText); });
  return answer;
}

}  // namespace velamanifold
