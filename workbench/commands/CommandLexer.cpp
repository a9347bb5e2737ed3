#include "workbench/commands/CommandLexer.h"

namespace ornr::workbench {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v';
}

}  // namespace

void CheckWord(std::string_view word) {
  // The module takes names up to their first NUL: a name holding one would be cut there.
  if (word.find('\0') != std::string_view::npos) {
    throw CommandSyntaxError("a NUL character cannot be part of a command");
  }
}

std::vector<std::string> SplitCommand(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool inQuotes = false;
  CheckWord(line);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
        word.push_back(line[++i]);
      } else {
        word.push_back(c);
      }
      continue;
    }
    if (c == '#') break;
    if (IsBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      inQuotes = true;
    } else {
      word.push_back(c);
    }
  }
  if (inQuotes) throw CommandSyntaxError("unterminated quote");
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string AlwaysQuoted(std::string_view word) {
  std::string out;
  AppendAlwaysQuoted(out, word);
  return out;
}

void AppendAlwaysQuoted(std::string& out, std::string_view word) {
  out.push_back('"');
  for (const char c : word) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

std::string QuoteWord(std::string_view word) {
  bool plain = !word.empty();
  for (const char c : word) {
    if (IsBlank(c) || c == '"' || c == '\\' || c == '#') plain = false;
  }
  return plain ? std::string(word) : AlwaysQuoted(word);
}

}  // namespace ornr::workbench
