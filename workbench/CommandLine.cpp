#include "workbench/CommandLine.h"

#include <string_view>

namespace ornr::workbench {

namespace {

std::string_view ValueOf(int argc, const char* const* argv, int& i) {
  const std::string_view option = argv[i];
  if (i + 1 >= argc) throw CommandLineError("option " + std::string(option) + " needs a value");
  return argv[++i];
}

}  // namespace

Options ParseCommandLine(int argc, const char* const* argv) {
  Options options;
  bool onlySources = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (onlySources || arg == "-" || !arg.starts_with("-")) {
      options.sources.push_back({CommandSource::Kind::ScriptFile, std::string(arg)});
    } else if (arg == "--") {
      onlySources = true;
    } else if (arg == "--master") {
      if (options.master) throw CommandLineError("--master may be given once");
      options.master = std::filesystem::path(ValueOf(argc, argv, i));
    } else if (arg == "--library") {
      options.libraries.emplace_back(ValueOf(argc, argv, i));
    } else if (arg == "--module") {
      options.module = std::filesystem::path(ValueOf(argc, argv, i));
    } else if (arg == "-c") {
      options.sources.push_back(
          {CommandSource::Kind::Command, std::string(ValueOf(argc, argv, i))});
    } else if (arg == "--xml") {
      options.xml = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else {
      throw CommandLineError("unknown option " + std::string(arg));
    }
  }
  return options;
}

std::string UsageText() {
  return "usage: rsm-workbench [--master FILE] [--library FILE]... [--xml] [--module FILE]\n"
         "                     [SCRIPT | -c COMMAND]...\n"
         "\n"
         "Opens the master file (created if missing) and the design libraries, loads the render\n"
         "setup module, runs the commands of each SCRIPT (\"-\" reads standard input) and of each\n"
         "-c in turn, then closes the master file and unloads the module. Without a script it\n"
         "reads commands from standard input, with a prompt when that is a terminal; the command\n"
         "\"help\" lists them all.\n"
         "\n"
         "  --master FILE   the master design file\n"
         "  --library FILE  a design library (repeatable, in the order given)\n"
         "  --xml           print each panel document whole instead of a summary\n"
         "  --module FILE   the module to load (default: $ORNR_MODULE, else the one beside\n"
         "                  the workbench, else the one in the installed library folder)\n"
         "\n"
         "Exit status: 0 when every command ran, 1 when any failed, 2 for a wrong command line.\n";
}

}  // namespace ornr::workbench
