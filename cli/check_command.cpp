#include "cli/check_command.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>

#include "cli/files.h"
#include "cli/findings_text.h"
#include "cli/stdout_guard.h"
#include "check/diagnostics.h"
#include "model/limits.h"
#include "model/model_schema.h"

namespace velamanifold {

namespace {

using json = nlohmann::json;

constexpr const char* kUsage =
    "usage: tarvo-cli check MODEL.json [--json] [-D NAME=VALUE]... [--segments N] [--sweep]\n"
    "       tarvo-cli check --schema\n"
    "\n"
    "Builds the model document MODEL.json (\"-\" reads standard input) and prints\n"
    "what its author should know, one finding per line:\n"
    "  tarvo-cli: MODEL.json: POINTER: error|warning: MESSAGE\n"
    "POINTER is a JSON Pointer (RFC 6901) to the place in the document.\n"
    "\n"
    "  --json          print one JSON document with every finding instead\n"
    "  -D NAME=VALUE   sets parameter NAME before the model is checked; repeatable\n"
    "  --segments N    segments of a full circle for the build (default 64)\n"
    "  --sweep         builds again with each parameter at its minimum, its maximum\n"
    "                  and each of its choices, and reports values at which a visible\n"
    "                  object fails, builds nothing or splits into more shells\n"
    "  --schema        print the JSON Schema of model documents and exit\n"
    "  -h, --help      print this help and exit\n"
    "\n"
    "Exit status: 0 without errors (warnings allowed), 1 with at least one error,\n"
    "2 for a usage error or a file that cannot be read.\n";

int UsageFailure(const std::string& message) {
  std::fprintf(stderr,
               "tarvo-cli: check: %s\nusage: tarvo-cli check MODEL.json [--json] (see tarvo-cli "
               "check --help)\n",
               message.c_str());
  return 2;
}

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string HumanReport(const std::string& name, const std::vector<Diagnostic>& diagnostics) {
  std::string text;
  for (const Diagnostic& d : diagnostics) text += FindingLine(name, d);
  return text;
}

std::string JsonReport(const std::string& name, const std::vector<Diagnostic>& diagnostics,
                       size_t errors, size_t warnings) {
  json list = json::array();
  for (const Diagnostic& d : diagnostics) {
    json entry = {
        {"pointer", d.pointer}, {"severity", SeverityName(d.severity)}, {"message", d.message}};
    if (d.line > 0) {
      entry["line"] = d.line;
      entry["column"] = d.column;
    }
    list.push_back(std::move(entry));
  }
  json report = {{"file", name}, {"errors", errors}, {"warnings", warnings}, {"diagnostics", list}};
  // Messages quote the document, which need not be valid UTF-8.
  return report.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& args) {
  bool asJson = false;
  bool schema = false;
  std::string path;
  bool havePath = false;
  CheckOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    // The value of an option: glued ("-DNAME=1", "--segments=32") or the next argument.
    auto value = [&](const std::string& name, std::string& out) {
      if (arg.size() > name.size()) {
        out = arg.substr(name.size() + (arg[name.size()] == '=' ? 1 : 0));
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (arg == "--json") {
      asJson = true;
    } else if (arg == "--sweep") {
      options.sweep = true;
    } else if (arg.rfind("-D", 0) == 0) {
      std::string assignment;
      if (!value("-D", assignment)) return UsageFailure("-D wants NAME=VALUE");
      const size_t equals = assignment.find('=');
      if (equals == std::string::npos || equals == 0) {
        return UsageFailure("-D wants NAME=VALUE, not \"" + assignment + "\"");
      }
      options.parameters.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    } else if (arg == "--segments" || arg.rfind("--segments=", 0) == 0) {
      std::string text;
      if (!value("--segments", text)) return UsageFailure("--segments wants a value");
      int n = 0;
      auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (text.empty() || error != std::errc() || stop != text.data() + text.size() || n < 1 ||
          n > kMaxSegments) {
        return UsageFailure("--segments wants a whole number from 1 to " +
                          std::to_string(kMaxSegments) + ", not \"" + text + "\"");
      }
      options.segments = n;
    } else if (arg == "--schema") {
      schema = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageFailure("unknown option \"" + arg + "\"");
    } else if (havePath) {
      return UsageFailure("one model document at a time");
    } else {
      path = arg;
      havePath = true;
    }
  }
  if (schema) {
    if (havePath || asJson || options.sweep || !options.parameters.empty()) {
      return UsageFailure("--schema takes no model document");
    }
    std::fputs((ModelSchema().dump(2) + "\n").c_str(), stdout);
    return 0;
  }
  if (!havePath) return UsageFailure("no model document given (\"-\" reads standard input)");

  std::string text;
  try {
    text = ReadWholeFile(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarvo-cli: check: %s: %s\n", path.c_str(), e.what());
    return 2;
  }
  const std::string name = path == "-" ? "<stdin>" : path;
  std::vector<Diagnostic> diagnostics;
  std::string report;
  size_t errors = 0;
  {
    // What the build's readers print for the request log goes nowhere here.
    StdoutGuard guard(BuildPrinting::kDiscarded);
    diagnostics = CheckModel(text, options);
    for (const Diagnostic& d : diagnostics) errors += d.severity == Severity::kError;
    const size_t warnings = diagnostics.size() - errors;
    report =
        asJson ? JsonReport(name, diagnostics, errors, warnings) : HumanReport(name, diagnostics);
    guard.Write(report);
    if (!asJson) {
      std::fprintf(stderr, "tarvo-cli: %s: %s\n", name.c_str(),
                   diagnostics.empty()
                       ? "no problems found"
                       : (Count(errors, "error") + ", " + Count(warnings, "warning")).c_str());
    }
  }
  return errors > 0 ? 1 : 0;
}

}  // namespace velamanifold
