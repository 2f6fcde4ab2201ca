#include "cli/usage.h"

namespace velamanifold {

std::string ProgramUsage() {
  return "usage: tarvo-cli <op> (probe|build|build_xml|multi_xml|cross_section)\n"
         "       tarvo-cli export MODEL.json -o OUT.{3mf,stl,glb,png} [options]\n"
         "       tarvo-cli check MODEL.json [--json] | --schema\n"
         "\n"
         "Request operations: one JSON request on standard input, one JSON answer on\n"
         "standard output (exit 0 answered, 1 failed with the reason on standard error):\n"
         "  probe          the version; reads nothing\n"
         "  build          an object's mesh: Base64 vertices and triangles\n"
         "  build_xml      an object as a 3MF model document\n"
         "  multi_xml      several objects as named, coloured parts of one 3MF document\n"
         "  cross_section  the outline rings of a planar object\n"
         "\n"
         "Commands for people:\n"
         "  export         builds a model document's object into a .3mf, .stl, .glb or .png file\n"
         "  check          lists a model document's errors and warnings with their places\n"
         "  help           prints this text (also -h, --help)\n"
         "\n"
         "'tarvo-cli export --help' and 'tarvo-cli check --help' tell more; README.md\n"
         "describes the requests and docs/model-format.md the model documents.\n";
}

bool IsHelpArgument(const std::string& arg) {
  return arg == "--help" || arg == "-h" || arg == "help";
}

}  // namespace velamanifold
