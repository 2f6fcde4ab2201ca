// `tarvo-cli export`: builds an object of a model document and writes it as
// a file a person can open (3MF, STL, glTF binary or a PNG picture).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "params/parameter_values.h"

namespace velamanifold {

enum class ExportFormat { k3mf, kStl, kGlb, kPng };

// What the command line asks for.
struct ExportOptions {
  std::string model;   // path of the model document, "-" for standard input
  std::string output;  // path of the file to write
  ExportFormat format = ExportFormat::k3mf;
  std::string object = "_all_";
  int64_t segments = 64;
  std::vector<ParameterAssignment> parameters;
  bool parts = false;  // .3mf: one object per visible top-level object
  // Attachments given as files: (attachment id, path), in order.
  std::vector<std::pair<std::string, std::string>> attachments;
  int width = 0;  // picture size; 0: the format's default
  int height = 0;
  bool strict = false;  // errors in the model fail the export
  bool help = false;
};

// A command line that cannot be carried out as written; the message says
// what to type instead.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the usage text of the command, ending in a line feed.
std::string ExportUsage();

// Returns the options of the arguments that follow "export". Throws
// UsageError for a missing, unknown or malformed argument.
ExportOptions ParseExportArguments(const std::vector<std::string>& args);

// Runs the command on the arguments that follow "export" and returns the exit
// code: 0 written (a summary on standard error), 1 failed (the reason on
// standard error, no file left behind), 2 usage error. The help goes to
// standard output.
int RunExportCommand(const std::vector<std::string>& args);

}  // namespace velamanifold
