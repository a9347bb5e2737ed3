// Splits a command line into words.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ornr::workbench {

/// A command line that cannot be split, such as one with an unterminated quote.
class CommandSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Words are separated by blanks; "#" outside quotes ends the line. Double quotes enclose text
/// with blanks and "#", where \" and \\ stand for a quote and a backslash (any other backslash
/// is kept as it is). Quoted and unquoted text that touch form one word; "" is an empty word.
/// A line with nothing but blanks and a comment gives no words. Throws CommandSyntaxError.
std::vector<std::string> SplitCommand(std::string_view line);

/// Throws CommandSyntaxError for a word that no command line can carry, as SplitCommand does:
/// one holding a NUL, where the module would end the name.
void CheckWord(std::string_view word);

/// The word as a command would write it: quoted when it is empty or holds a blank, a quote,
/// a backslash or "#", so that SplitCommand gives it back.
std::string QuoteWord(std::string_view word);

/// The word in double quotes always, escaped as SplitCommand reads it.
std::string AlwaysQuoted(std::string_view word);
/// AlwaysQuoted(word) appended to out.
void AppendAlwaysQuoted(std::string& out, std::string_view word);

}  // namespace ornr::workbench
