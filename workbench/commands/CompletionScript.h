// The shell completion's knowledge of the commands, written from the command table into the
// completion script's template when the workbench is built.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/commands/CommandTable.h"

namespace ornr::workbench {

class CompletionScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The template with its marks filled: @ORNR_COMMANDS@ (every command's name),
/// @ORNR_COMMANDS_WITHOUT_ARGUMENTS@ (a bash pattern of those that take none),
/// @ORNR_COMMAND_CASES@ (the arms of a case on the command that set what each word offers) and
/// @ORNR_PROPERTY_NAMES@ (propertyNames). Throws CompletionScriptError when a mark is missing.
std::string CompletionScript(std::string_view templateText, std::string_view propertyNames,
                             const std::vector<CommandEntry>& commands = CommandTable());

/// The arms of the case on the command, at four blanks: each sets names, files, list and final
/// for word n (the command's own word is 0), word being typed so far.
std::string CompletionCases(const std::vector<CommandEntry>& commands);

}  // namespace ornr::workbench
