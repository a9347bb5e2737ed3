// ornr-catalogue-files: writes a file made from the settings catalogue, for the build.
//   ornr-catalogue-files page FILE   the page's catalogue module
//   ornr-catalogue-files docs FILE   the settings table of the documentation
// A file that already holds the text is left alone, so that nothing after it is made again.
// Exit status: 0 written or unchanged, 1 not written, 2 usage.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "settings/CatalogueFiles.h"

namespace {

bool Holds(const char* path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string held{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return held == text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: ornr-catalogue-files page|docs FILE\n", stderr);
    return 2;
  }
  const std::string_view what = argv[1];
  std::string text;
  if (what == "page") {
    text = ornr::settings::PageCatalogueModule();
  } else if (what == "docs") {
    text = ornr::settings::SettingsTable();
  } else {
    std::fprintf(stderr, "ornr-catalogue-files: no file of the kind \"%s\" (page, docs)\n",
                 argv[1]);
    return 2;
  }
  if (Holds(argv[2], text)) return 0;
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "ornr-catalogue-files: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
