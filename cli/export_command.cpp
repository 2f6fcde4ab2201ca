#include "cli/export_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <set>

#include "check/diagnostics.h"
#include "cli/base64.h"
#include "cli/files.h"
#include "cli/findings_text.h"
#include "cli/stdout_guard.h"
#include "export/glb_writer.h"
#include "export/png_writer.h"
#include "export/renderer.h"
#include "export/single_precision.h"
#include "export/stl_writer.h"
#include "export/threemf.h"
#include "export/threemf_format.h"
#include "export/threemf_package.h"
#include "model/json_access.h"
#include "model/json_parse.h"
#include "model/limits.h"
#include "params/dropdowns.h"
#include "params/templates.h"
#include "params/parameter_bounds.h"
#include "pipeline/pipeline.h"

namespace velamanifold {

namespace {

constexpr int kPictureWidth = 800;
constexpr int kPictureHeight = 600;
constexpr int kThumbnailSide = 256;
// Red, green and blue of objects without a colour: a light neutral grey
// (#BFBFBF), where the requests answer with the protocol's green.
constexpr double kPlainColor[3] = {0.75, 0.75, 0.75};
// Errors found in the exported document that are printed one by one; the
// rest are counted.
constexpr size_t kFindingsShown = 3;

struct FormatName {
  const char* extension;
  ExportFormat format;
};
constexpr FormatName kFormats[] = {{".3mf", ExportFormat::k3mf},
                                   {".stl", ExportFormat::kStl},
                                   {".glb", ExportFormat::kGlb},
                                   {".png", ExportFormat::kPng}};

const char* ExtensionOf(ExportFormat format) {
  for (const auto& entry : kFormats) {
    if (entry.format == format) return entry.extension + 1;
  }
  return "";
}

UsageError Usage(const std::string& problem) {
  return UsageError(problem + " (see 'tarvo-cli export --help')");
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

ExportFormat FormatOf(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    const std::string extension = AsciiLower(path.substr(dot));
    for (const auto& entry : kFormats) {
      if (extension == entry.extension) return entry.format;
    }
  }
  throw Usage("cannot tell the format of \"" + path + "\"; end it in .3mf, .stl, .glb or .png");
}

// Returns the whole number `text` in [low, high]; throws UsageError naming `option`.
int64_t WholeNumber(const std::string& option, const std::string& text, int64_t low, int64_t high) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    throw Usage(option + " wants a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not \"" + text + "\"");
  }
  return value;
}

void ReadSize(const std::string& text, ExportOptions& options) {
  const size_t x = text.find('x');
  if (x == std::string::npos) throw Usage("--size wants WIDTHxHEIGHT, such as 800x600, not \"" + text + "\"");
  options.width = static_cast<int>(WholeNumber("--size", text.substr(0, x), 1, kMaxPictureSide));
  options.height = static_cast<int>(WholeNumber("--size", text.substr(x + 1), 1, kMaxPictureSide));
}

void ReadAssignment(const std::string& text, ExportOptions& options) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw Usage("-D wants NAME=VALUE, not \"" + text + "\"");
  }
  options.parameters.emplace_back(text.substr(0, equals), text.substr(equals + 1));
}

// A failure of the export, reported as "tarvo-cli: SUBJECT: MESSAGE".
struct ExportFailure {
  std::string subject;
  std::string message;
};

void ReadAttachment(const std::string& text, ExportOptions& options) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    throw Usage("--attach wants ID=FILE, not \"" + text + "\"");
  }
  options.attachments.emplace_back(text.substr(0, equals), text.substr(equals + 1));
}

// Returns the attachment file type of a file's bytes by their signature (or
// an STL by its name), or the empty text when it is none we read.
std::string AttachmentFileType(const std::string& path, const std::string& bytes) {
  if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return "image/png";
  if (bytes.rfind("\xff\xd8\xff", 0) == 0) return "image/jpeg";
  std::string lower;
  for (char c : path) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".stl") == 0) return "model/stl";
  return "";
}

// Puts each file given with --attach into the document as the Base64
// content of the attachment of its id, replacing the content (and file
// type) of one the model already has, or adding it.
void SetAttachments(json& document, const ExportOptions& options) {
  for (const auto& [id, path] : options.attachments) {
    std::string bytes;
    try {
      bytes = ReadWholeFile(path);
    } catch (const std::exception& e) {
      throw ExportFailure{path, e.what()};
    }
    const std::string filetype = AttachmentFileType(path, bytes);
    if (filetype.empty()) {
      throw ExportFailure{path, "not a PNG, JPEG or STL file (attachment \"" + id + "\")"};
    }
    if (!document.is_object()) return;
    json& attachments = document["attachments"];
    if (!attachments.is_array()) attachments = json::array();
    json* slot = nullptr;
    for (json& attachment : attachments) {
      if (attachment.is_object() && attachment.value("vid", json()) == id) slot = &attachment;
    }
    if (slot == nullptr) slot = &attachments.emplace_back(json{{"vid", id}});
    (*slot)["filetype"] = filetype;
    (*slot)["content"] = Base64Encode(bytes.data(), bytes.size());
  }
}

// Text that failed to parse gets the reason without the library's code prefix.
std::string ParseReason(const std::string& text) {
  try {
    ParseJson(text);
  } catch (const std::exception& e) {
    std::string reason = e.what();
    if (reason.rfind("[json.exception.", 0) == 0) {
      const size_t close = reason.find("] ");
      if (close != std::string::npos) reason.erase(0, close + 2);
    }
    return reason;
  }
  return "unreadable";
}


// The name of the model in messages.
std::string ModelName(const ExportOptions& options) {
  return options.model == "-" ? "standard input" : options.model;
}

// What an export built, and what the checker finds in the document it came from.
struct BuiltModel {
  manifold::MeshGL64 mesh;
  size_t triangles = 0;
  manifold::Box box;
  std::vector<Diagnostic> findings;
  std::vector<ThreeMFPartMesh> parts;  // with --parts: each visible object
};

// Returns the bounds of the mesh's vertices.
manifold::Box Bounds(const manifold::MeshGL64& mesh) {
  manifold::Box box;
  for (size_t v = 0; v < mesh.NumVert(); ++v) {
    const double* p = &mesh.vertProperties[mesh.numProp * v];
    box.Union(manifold::vec3(p[0], p[1], p[2]));
  }
  return box;
}

// Returns the ids of the document's objects, for a likely misspelling.
std::vector<std::string> ObjectIds(const json& document) {
  std::vector<std::string> ids;
  const json& objects = Jobj(document, "objects");
  if (!objects.is_array()) return ids;
  for (const json& object : objects) {
    const std::string id = Js(object, "vid", "");
    if (!id.empty()) ids.push_back(id);
  }
  return ids;
}

// Returns one part per visible top-level object that builds, named by its
// "name" member or else its id, in its model coordinates and colours.
std::vector<ThreeMFPartMesh> VisibleParts(VelaPipeline& pipeline, const json& document) {
  std::vector<ThreeMFPartMesh> parts;
  const json& objects = Jobj(document, "objects");
  if (!objects.is_array()) return parts;
  std::set<std::string> seen;
  for (const json& entry : objects) {
    const std::string vid = Js(Jobj(entry, "vid"), "");
    if (!Jb(Jobj(entry, "visible"), true) || Js(Jobj(entry, "type"), "") == "parameter" ||
        vid.empty() || !seen.insert(vid).second) {
      continue;
    }
    const manifold::Manifold solid = pipeline.BuildInner(document, vid, nullptr);
    if (solid.IsEmpty()) continue;
    const json& name = Jobj(entry, "name");
    parts.push_back({solid.GetMeshGL64(), name.is_string() && !name.get_ref<const std::string&>().empty()
                                              ? name.get<std::string>()
                                              : vid,
                     ""});
  }
  return parts;
}

BuiltModel BuildModel(const ExportOptions& options) {
  const std::string modelName = ModelName(options);
  std::string text;
  try {
    text = ReadWholeFile(options.model);
  } catch (const std::exception& e) {
    throw ExportFailure{modelName, e.what()};
  }
  try {
    json document;
    try {
      document = ParseJson(text);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
      throw ExportFailure{modelName, "not JSON: " + ParseReason(text)};
    }
    std::string().swap(text);  // parsed: its memory goes to the build
    // Values set from outside go in before templates and dropdowns are solved.
    SetParameterValues(document, options.parameters);
    CheckAssignedBounds(document, options.parameters);
    SetAttachments(document, options);

    // The checker's findings on the document as exported: what the build
    // passes over in silence (unknown types, missing references) is said.
    Diagnostics findings;
    try {
      CheckDocumentShape(document, "", 0, findings);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      findings.Error("", std::string("the check stopped early: ") + e.what());
    }

    VelaPipeline pipeline;
    pipeline.segments = CheckSegments(options.segments, "segment count");
    pipeline.wantColors = true;
    std::copy(std::begin(kPlainColor), std::end(kPlainColor), pipeline.plainColor);
    SolveAllObjects(document);
    ResolveDropdowns(document);
    // The findings of every visible object come from the cache while it
    // holds them. Parts keep the pipeline's coloured solids, so with --parts
    // the whole model is coloured as the request operations colour it.
    std::vector<ThreeMFPartMesh> parts;
    manifold::MeshGL64 mesh;
    auto whileCached = [&] {
      if (options.object == "_all_") CheckBuiltObjects(pipeline, document, findings);
    };
    if (options.parts) {
      mesh = pipeline.BuildInner(document, options.object, nullptr).GetMeshGL64();
      whileCached();
      parts = VisibleParts(pipeline, document);
    } else {
      mesh = pipeline.BuildMesh(document, options.object, whileCached);
    }
    if (mesh.NumTri() == 0) {
      if (options.object == "_all_") {
        throw ExportFailure{modelName, "no visible object builds anything"};
      }
      if (FindObject(document, options.object).is_null()) {
        throw ExportFailure{modelName, "no object has the id \"" + options.object + "\"" +
                                           DidYouMean(options.object, ObjectIds(document))};
      }
      throw ExportFailure{modelName, "object \"" + options.object + "\" builds nothing"};
    }
    const size_t triangles = mesh.NumTri();
    const manifold::Box box = Bounds(mesh);
    return {std::move(mesh), triangles, box, findings.Items(), std::move(parts)};
  } catch (const ExportFailure&) {
    throw;
  } catch (const LimitError& e) {
    throw ExportFailure{modelName, e.what()};
  } catch (const UnknownParameterError& e) {
    throw ExportFailure{modelName, e.what()};
  } catch (const ParameterKindError& e) {
    throw ExportFailure{modelName, e.what()};
  } catch (const ParameterBoundError& e) {
    throw ExportFailure{modelName, e.what()};
  } catch (const std::exception& e) {
    // Failures deep in the build name only what failed there; say what was being built.
    const std::string what = options.object == "_all_" ? std::string("the model")
                                                       : "object \"" + options.object + "\"";
    throw ExportFailure{modelName, what + " cannot be built: " + e.what()};
  }
}

// Returns the name the 3MF object carries: the object's id, or the model
// file's name without folder and extension when every object is built.
std::string ObjectName(const ExportOptions& options) {
  if (options.object != "_all_") return options.object;
  if (options.model == "-") return "model";
  std::string name = options.model.substr(options.model.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "model" : name;
}

// Returns the bytes of the file; the built mesh is handed over.
std::string FileBytes(const ExportOptions& options, BuiltModel& built) {
  manifold::MeshGL64 mesh = std::move(built.mesh);
  switch (options.format) {
    case ExportFormat::kStl:
      return MeshToBinaryStl(SinglePrecision(mesh));
    case ExportFormat::kGlb:
      return MeshToGlb(SinglePrecision(mesh));
    case ExportFormat::kPng:
      return ImageToPng(RenderIsometric(SinglePrecision(mesh),
                                        options.width ? options.width : kPictureWidth,
                                        options.height ? options.height : kPictureHeight));
    case ExportFormat::k3mf:
      break;
  }
  // The model document's mesh also draws the thumbnail: one mesh, not two.
  const std::string thumbnail =
      ImageToPng(RenderIsometric(mesh, options.width ? options.width : kThumbnailSide,
                                 options.height ? options.height : kThumbnailSide));
  if (options.parts) return ThreeMFPackage(PartsTo3MFModelXML(built.parts), thumbnail);
  return ThreeMFPackage(MeshTo3MFModelXML(std::move(mesh), ObjectName(options)), thumbnail);
}

std::string Summary(const ExportOptions& options, const BuiltModel& built, size_t bytes) {
  const manifold::Box& box = built.box;
  const std::string objects =
      options.parts ? ", " + std::to_string(built.parts.size()) +
                          (built.parts.size() == 1 ? " object" : " objects")
                    : std::string();
  char text[512];
  std::snprintf(text, sizeof text,
                ": %s%s, %zu triangles, x %g..%g y %g..%g z %g..%g mm, %zu bytes",
                ExtensionOf(options.format), objects.c_str(), built.triangles, box.min.x,
                box.max.x, box.min.y, box.max.y, box.min.z, box.max.z, bytes);
  return "wrote " + options.output + text;
}

// Returns the lines for the findings: the first errors, then a count of
// what was not shown and the command that lists it all; "" without findings.
std::string FindingsReport(const ExportOptions& options, const std::vector<Diagnostic>& findings) {
  const std::string name = ModelName(options);
  std::string text;
  size_t errors = 0, warnings = 0;
  for (const Diagnostic& finding : findings) {
    if (finding.severity != Severity::kError) {
      ++warnings;
    } else if (++errors <= kFindingsShown) {
      text += FindingLine(name, finding);
    }
  }
  if (errors <= kFindingsShown && warnings == 0) return text;
  auto count = [](size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  std::string counts;
  if (errors > kFindingsShown) counts = count(errors - kFindingsShown, "more error");
  if (warnings > 0) counts += (counts.empty() ? "" : " and ") + count(warnings, "warning");
  return text + "tarvo-cli: " + name + ": " + counts + "; 'tarvo-cli check " + options.model +
         "' lists them all\n";
}

size_t ErrorCount(const std::vector<Diagnostic>& findings) {
  size_t errors = 0;
  for (const Diagnostic& finding : findings) errors += finding.severity == Severity::kError;
  return errors;
}

}  // namespace

std::string ExportUsage() {
  return "usage: tarvo-cli export MODEL.json -o OUT.{3mf,stl,glb,png} [options]\n"
         "\n"
         "Builds an object of a model document and writes it as a file; the extension\n"
         "of OUT chooses the format:\n"
         "  .3mf  3MF package with colours and a thumbnail picture, for slicers\n"
         "  .stl  binary STL\n"
         "  .glb  binary glTF in metres, +Y up, for viewers and web pages\n"
         "  .png  isometric picture of the part\n"
         "\n"
         "  MODEL.json       the model document ('-' reads standard input)\n"
         "  -o OUT           the file to write (replaced whole, or left as it was)\n"
         "  --object ID      the object to build (default _all_: every visible object)\n"
         "  --segments N     segments of a full circle (default 64)\n"
         "  -D NAME=VALUE    sets parameter NAME before the model is solved; repeatable\n"
         "  --parts          .3mf: one object per visible object, named by its \"name\"\n"
         "                   or its id, so that a slicer can place each one apart\n"
         "  --attach ID=FILE uses FILE (PNG, JPEG or STL) as the content of attachment\n"
         "                   ID, replacing the model's own or adding it; repeatable\n"
         "  --size WxH       picture size (default 800x600 for .png, 256x256 for the\n"
         "                   thumbnail of .3mf)\n"
         "  --strict         fails, writing nothing, when the model has errors\n"
         "  -h, --help       prints this help\n"
         "\n"
         "Objects without a colour are light grey. After the summary line, the errors\n"
         "'tarvo-cli check' finds in the model follow on standard error.\n"
         "\n"
         "Exit status: 0 written (a summary on standard error), 1 failed (the reason\n"
         "on standard error, nothing written), 2 usage error.\n";
}

ExportOptions ParseExportArguments(const std::vector<std::string>& args) {
  ExportOptions options;
  bool haveModel = false, haveOutput = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      return options;
    }
    // The value of an option: glued ("-DNAME=1", "--object=ID") or the next argument.
    auto value = [&](const std::string& name) -> std::string {
      if (arg.size() > name.size()) return arg.substr(name.size() + (arg[name.size()] == '=' ? 1 : 0));
      if (i + 1 >= args.size()) throw Usage(name + " wants a value");
      return args[++i];
    };
    auto is = [&](const std::string& name) { return arg == name || arg.rfind(name + "=", 0) == 0; };
    if (arg == "-o" || (arg.rfind("-o", 0) == 0 && arg.size() > 2 && arg[2] != '-')) {
      if (haveOutput) throw Usage("-o given twice");
      options.output = value("-o");
      haveOutput = true;
    } else if (arg.rfind("-D", 0) == 0) {
      ReadAssignment(value("-D"), options);
    } else if (is("--object")) {
      options.object = value("--object");
      if (options.object.empty()) throw Usage("--object wants an object id");
    } else if (is("--segments")) {
      options.segments = WholeNumber("--segments", value("--segments"), 1, kMaxSegments);
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (arg == "--parts") {
      options.parts = true;
    } else if (is("--size")) {
      ReadSize(value("--size"), options);
    } else if (is("--attach")) {
      ReadAttachment(value("--attach"), options);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw Usage("unknown option \"" + arg + "\"");
    } else {
      if (haveModel) throw Usage("one model at a time: \"" + options.model + "\" and \"" + arg + "\"");
      options.model = arg;
      haveModel = true;
    }
  }
  if (!haveModel) throw Usage("missing MODEL.json");
  if (!haveOutput) throw Usage("missing -o OUT");
  options.format = FormatOf(options.output);
  if (options.parts && options.format != ExportFormat::k3mf) {
    throw Usage("--parts writes 3MF files only, not \"" + options.output + "\"");
  }
  if (options.parts && options.object != "_all_") {
    throw Usage("--parts writes every visible object; it takes no --object");
  }
  return options;
}

int RunExportCommand(const std::vector<std::string>& args) {
  // What the build's readers print for the request log goes nowhere here;
  // standard output holds the help alone.
  StdoutGuard guard(BuildPrinting::kDiscarded);
  ExportOptions options;
  try {
    options = ParseExportArguments(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tarvo-cli: export: %s\n", e.what());
    return 2;
  }
  if (options.help) {
    guard.Write(ExportUsage());
    return 0;
  }
  try {
    BuiltModel built = BuildModel(options);
    const std::string findings = FindingsReport(options, built.findings);
    if (options.strict && ErrorCount(built.findings) > 0) {
      std::fputs(findings.c_str(), stderr);
      std::fprintf(stderr, "tarvo-cli: %s: not written: the model has errors (--strict)\n",
                   options.output.c_str());
      return 1;
    }
    std::string bytes;
    try {
      bytes = FileBytes(options, built);
    } catch (const std::exception& e) {
      throw ExportFailure{options.output, e.what()};
    }
    try {
      WriteWholeFile(options.output, bytes);
    } catch (const std::exception& e) {
      throw ExportFailure{options.output, e.what()};
    }
    std::fprintf(stderr, "tarvo-cli: %s\n", Summary(options, built, bytes.size()).c_str());
    std::fputs(findings.c_str(), stderr);
    return 0;
  } catch (const ExportFailure& failure) {
    std::fprintf(stderr, "tarvo-cli: %s: %s\n", failure.subject.c_str(), failure.message.c_str());
    return 1;
  }
}

}  // namespace velamanifold
