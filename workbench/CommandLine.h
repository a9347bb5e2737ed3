// The workbench's command line: which files to open and which commands to run.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ornr::workbench {

/// A command line the workbench cannot run; the message says what is wrong.
class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Where commands come from, in the order given: a script file ("-" is standard input) or the
/// text of one -c option.
struct CommandSource {
  enum class Kind { ScriptFile, Command };
  Kind kind = Kind::Command;
  std::string text;
};

struct Options {
  std::optional<std::filesystem::path> master;
  std::vector<std::filesystem::path> libraries;
  /// The module to load instead of the one found by default.
  std::optional<std::filesystem::path> module;
  bool xml = false;
  /// --panel: serve the browser panel at this "ADDR:PORT" (empty: loopback, any free port).
  std::optional<std::string> panel;
  /// --culture: the user-interface culture of the module's texts ("de", "ja-JP").
  std::optional<std::string> culture;
  /// --panel-allow-network: the panel may listen on an address other than loopback.
  bool panelAllowNetwork = false;
  bool help = false;
  bool version = false;
  std::vector<CommandSource> sources;
};

/// Reads argv[1..argc). Throws CommandLineError for an unknown option, an option without its
/// value, a repeated --master, a --culture that is no culture name or --panel-allow-network
/// without --panel.
Options ParseCommandLine(int argc, const char* const* argv);

/// What --version prints.
std::string VersionText();
/// The usage text printed by --help and after a command-line error.
std::string UsageText();

}  // namespace ornr::workbench
