#include "audit/Report.h"

namespace ornr::audit {

ReportFile::ReportFile(const std::filesystem::path& path) {
  try {
    file_ = std::make_unique<OutputFile>(path);
  } catch (const OutputFileError& error) {
    throw ReportError(error.what());
  }
}

void ReportFile::Commit() {
  try {
    file_->Commit();
  } catch (const OutputFileError& error) {
    throw ReportError(error.what());
  }
}

std::string ShellCommand(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string::npos;
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (const char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
  return line;
}

}  // namespace ornr::audit
