// rsm-workbench: a host application that loads the render setup module and drives it from
// commands.
#include <signal.h>
#include <sqlite3.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "workbench/CommandLine.h"
#include "workbench/Session.h"

int main(int argc, char** argv) {
  using namespace ornr::workbench;
  // Before SQLite starts: its memory statistics take a lock around every allocation, and nothing
  // here reads them. Only a program may decide this for its process, never a library.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  // As a host application does: the module must cope with whatever locale the user has.
  std::setlocale(LC_ALL, "");
  // Under a file-size limit (ulimit -f) a write that would pass it fails with an error the host
  // reports, and the session goes on to keep what it could not save; by default the signal would
  // end the process there and then.
  signal(SIGXFSZ, SIG_IGN);
  Options options;
  try {
    options = ParseCommandLine(argc, argv);
  } catch (const CommandLineError& error) {
    std::cerr << "rsm-workbench: " << error.what() << "\n\n" << UsageText();
    return 2;
  }
  if (options.version) {
    std::cout << VersionText();
    return 0;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  // The module's bridge reads the culture when it looks a text up; this one outranks the locale.
  if (options.culture) setenv("ORNR_UI_CULTURE", options.culture->c_str(), 1);
  try {
    Session session(options, std::cout);
    return session.Run();
  } catch (const std::exception& error) {
    std::cerr << "rsm-workbench: " << error.what() << "\n";
  } catch (...) {
    std::cerr << "rsm-workbench: unexpected failure\n";
  }
  return 1;
}
