// Writes what is made from the command table when the workbench is built, or read by its tests:
//   rsm-command-lists completion TEMPLATE OUTPUT PROPERTY_NAMES   the bash completion script
//   rsm-command-lists forms                                       every command's forms, one a line
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "workbench/commands/CommandTable.h"
#include "workbench/commands/CompletionScript.h"

int main(int argc, char** argv) try {
  using namespace ornr::workbench;
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "forms" && argc == 2) {
    for (const CommandEntry& command : CommandTable()) {
      for (const CommandForm& form : command.forms) std::cout << form.form << '\n';
    }
    return std::cout.flush() ? 0 : 1;
  }
  if (mode == "completion" && argc == 5) {
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[2]);
    std::stringstream text;
    text << in.rdbuf();
    const std::string script = CompletionScript(text.str(), argv[4]);
    // Written beside and moved into place, so that a failed write leaves no half a script.
    const std::string part = std::string(argv[3]) + ".part";
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << script;
    out.close();
    if (!out || std::rename(part.c_str(), argv[3]) != 0) {
      throw std::runtime_error(std::string("cannot write ") + argv[3]);
    }
    return 0;
  }
  std::cerr << "usage: rsm-command-lists completion TEMPLATE OUTPUT PROPERTY_NAMES | forms\n";
  return 2;
} catch (const std::exception& error) {
  std::cerr << "rsm-command-lists: " << error.what() << '\n';
  return 1;
}
