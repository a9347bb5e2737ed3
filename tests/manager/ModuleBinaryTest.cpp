// The module file as a linker and a loader see it: its dynamic symbols, SONAME and RUNPATH, as
// binutils print them.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string Output(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  for (std::size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
    text.append(chunk, n);
  }
  EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << command;
  return text;
}

TEST(ModuleBinaryTest, ExportsExactlyTheFifteenFunctionsUnderAVersionedSoname) {
  std::set<std::string> exported;
  std::istringstream symbols(Output("nm -D --defined-only '" ORNR_MODULE_PATH "'"));
  for (std::string address, kind, name; symbols >> address >> kind >> name;) exported.insert(name);
  const std::set<std::string> expected = {"ornR_Init",
                                          "ornR_Release",
                                          "ornR_LoadAllSetups",
                                          "ornR_NewSetup",
                                          "ornR_DuplicateSetup",
                                          "ornR_RenameSetup",
                                          "ornR_DeleteSetup",
                                          "ornR_ResetSetup",
                                          "ornR_SaveSetup",
                                          "ornR_IsModified",
                                          "ornR_CopyFromLib",
                                          "ornR_UpdateFromLibrarySetup",
                                          "ornR_MatchesToLibrarySetup",
                                          "_Z18GetIPrismetWrapperv",
                                          "_Z29DeleteIPrismetWrapperInstancev"};
  EXPECT_EQ(exported, expected);

  const std::string dynamic = Output("readelf -d '" ORNR_MODULE_PATH "'");
  EXPECT_NE(dynamic.find("Library soname: [" ORNR_MODULE_SONAME "]\n"), std::string::npos)
      << dynamic;
  for (const std::string kind : {"runpath", "rpath"}) {
    const std::size_t at = dynamic.find("Library " + kind + ": [");
    if (at == std::string::npos) continue;
    const std::size_t from = dynamic.find('[', at) + 1;
    std::istringstream list(dynamic.substr(from, dynamic.find(']', from) - from));
    for (std::string entry; std::getline(list, entry, ':');) {
      EXPECT_TRUE(entry.empty() || entry.starts_with("$ORIGIN")) << kind << " entry " << entry;
    }
  }
}

}  // namespace
