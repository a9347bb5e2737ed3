// The module file as a linker and a loader see it: its dynamic symbol table, SONAME and RUNPATH,
// read straight from the ELF.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct DynamicInfo {
  std::set<std::string> exported;  // defined global and weak symbols
  std::string soname;
  std::vector<std::string> runpath;
};

template <typename T>
T At(const std::string& image, std::size_t offset) {
  if (offset + sizeof(T) > image.size()) throw std::runtime_error("truncated ELF");
  T value;
  std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

std::string CString(const std::string& image, std::size_t offset) {
  if (offset >= image.size()) throw std::runtime_error("string outside the file");
  return std::string(image.c_str() + offset);
}

DynamicInfo ReadDynamicInfo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto header = At<Elf64_Ehdr>(image, 0);
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
    throw std::runtime_error(path + " is not a 64-bit ELF file");
  }
  std::vector<Elf64_Shdr> sections;
  for (int i = 0; i < header.e_shnum; ++i) {
    sections.push_back(At<Elf64_Shdr>(image, header.e_shoff + i * sizeof(Elf64_Shdr)));
  }
  DynamicInfo info;
  for (const Elf64_Shdr& section : sections) {
    const std::size_t strings = sections.at(section.sh_link).sh_offset;
    if (section.sh_type == SHT_DYNSYM) {
      for (std::size_t at = sizeof(Elf64_Sym); at < section.sh_size; at += sizeof(Elf64_Sym)) {
        const auto symbol = At<Elf64_Sym>(image, section.sh_offset + at);
        const int binding = ELF64_ST_BIND(symbol.st_info);
        if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
          continue;
        info.exported.insert(CString(image, strings + symbol.st_name));
      }
    } else if (section.sh_type == SHT_DYNAMIC) {
      for (std::size_t at = 0; at < section.sh_size; at += sizeof(Elf64_Dyn)) {
        const auto entry = At<Elf64_Dyn>(image, section.sh_offset + at);
        if (entry.d_tag == DT_SONAME) info.soname = CString(image, strings + entry.d_un.d_val);
        if (entry.d_tag == DT_RUNPATH || entry.d_tag == DT_RPATH) {
          std::istringstream list(CString(image, strings + entry.d_un.d_val));
          for (std::string item; std::getline(list, item, ':');) {
            if (!item.empty()) info.runpath.push_back(item);
          }
        }
      }
    }
  }
  return info;
}

TEST(ModuleBinaryTest, ExportsExactlyTheFifteenFunctionsUnderAVersionedSoname) {
  const DynamicInfo info = ReadDynamicInfo(ORNR_MODULE_PATH);
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
  EXPECT_EQ(info.exported, expected);
  EXPECT_EQ(info.soname, ORNR_MODULE_SONAME);
  for (const std::string& entry : info.runpath) {
    EXPECT_TRUE(entry.starts_with("$ORIGIN")) << "RUNPATH entry " << entry;
  }
}

}  // namespace
