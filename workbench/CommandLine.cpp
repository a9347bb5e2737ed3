#include "workbench/CommandLine.h"

#include <getopt.h>

#include <string>
#include <string_view>
#include <vector>

namespace ornr::workbench {

namespace {

enum LongOnly : int {
  kMaster = 256,
  kLibrary,
  kModule,
  kXml,
  kVersion,
  kPanel,
  kPanelNetwork,
  kCulture
};

const option kLongOptions[] = {
    {"master", required_argument, nullptr, kMaster},
    {"library", required_argument, nullptr, kLibrary},
    {"module", required_argument, nullptr, kModule},
    {"xml", no_argument, nullptr, kXml},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"panel", optional_argument, nullptr, kPanel},
    {"panel-allow-network", no_argument, nullptr, kPanelNetwork},
    {"culture", required_argument, nullptr, kCulture},
    {nullptr, 0, nullptr, 0},
};

// A culture name becomes part of a file name the module reads: letters, digits, '-' and '_' only.
bool IsCultureName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace

Options ParseCommandLine(int argc, const char* const* argv) {
  Options options;
  // getopt_long permutes argv only when allowed to; a copy keeps the caller's untouched.
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
  args.push_back(nullptr);
  // "-" first: scripts come back in place, so that scripts and -c run in the order given.
  // ":" second: a missing value is told apart from an unknown option; messages are ours.
  optind = 0;
  opterr = 0;
  for (int code; (code = getopt_long(argc, args.data(), "-:c:h", kLongOptions, nullptr)) != -1;) {
    // A short option is named by its letter; a long one by the word it was given in.
    const std::string given = optopt > 0 && optopt < kMaster ? std::string{'-', char(optopt)}
                                                             : std::string(args[optind - 1]);
    switch (code) {
      case 1:
        options.sources.push_back({CommandSource::Kind::ScriptFile, optarg});
        break;
      case 'c':
        options.sources.push_back({CommandSource::Kind::Command, optarg});
        break;
      case kMaster:
        if (options.master) throw CommandLineError("--master may be given once");
        options.master = std::filesystem::path(optarg);
        break;
      case kLibrary:
        options.libraries.emplace_back(optarg);
        break;
      case kModule:
        options.module = std::filesystem::path(optarg);
        break;
      case kXml:
        options.xml = true;
        break;
      case 'h':
        options.help = true;
        break;
      case kVersion:
        options.version = true;
        break;
      case kPanel:
        options.panel = optarg != nullptr ? optarg : "";
        break;
      case kPanelNetwork:
        options.panelAllowNetwork = true;
        break;
      case kCulture:
        if (!IsCultureName(optarg)) {
          throw CommandLineError("--culture takes a culture name such as de, de-DE or ja, not \"" +
                                 std::string(optarg) + "\"");
        }
        options.culture = optarg;
        break;
      case ':':
        throw CommandLineError("option " + given + " needs a value");
      default:
        throw CommandLineError("unknown option " + given);
    }
  }
  // What follows "--" is scripts, even when it starts with "-".
  for (int i = optind; i < argc; ++i) {
    options.sources.push_back({CommandSource::Kind::ScriptFile, argv[i]});
  }
  if (options.panelAllowNetwork && !options.panel) {
    throw CommandLineError("--panel-allow-network goes with --panel=ADDR:PORT");
  }
  return options;
}

std::string VersionText() {
  return "rsm-workbench " ORNR_VERSION "\n";
}

std::string UsageText() {
  return "usage: rsm-workbench [--master FILE] [--library FILE]... [--xml] [--module FILE]\n"
         "                     [--panel[=ADDR:PORT] [--panel-allow-network]] [--culture NAME]\n"
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
         "  --panel[=ADDR:PORT]  also serve the panel to a web browser (default 127.0.0.1 and\n"
         "                  a free port) and print its address; the session then goes on after\n"
         "                  the scripts until quit, typed or from the page, SIGINT or SIGTERM\n"
         "  --panel-allow-network  let --panel listen on an address other than loopback, such\n"
         "                  as 0.0.0.0 (every interface): the page is plain HTTP, so its token\n"
         "                  travels in clear and anyone who can read it can use the session\n"
         "  --culture NAME  the language of the module's messages and question and of the page\n"
         "                  (de, ja; default from $LC_ALL, $LC_MESSAGES, $LANG); commands and\n"
         "                  errors stay English\n"
         "  -c COMMAND      run one command line\n"
         "\n"
         "  -h, --help, --version\n"
         "Options take their value as the next word or after \"=\" (--master=FILE).\n"
         "\n"
         "Exit status: 0 when every command ran, 1 when any failed, 2 for a wrong command line.\n";
}

}  // namespace ornr::workbench
