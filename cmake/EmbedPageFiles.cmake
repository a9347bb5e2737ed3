# Writes OUTPUT, a C++ source that holds the files FILES (paths relative to DIR) as byte arrays
# behind ornr::workbench::PageFiles(). Run with cmake -P at build time; FILES is comma-separated.
string(REPLACE "," ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  file(READ "${DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND body "constexpr char kFile${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"${file}\", {kFile${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Made by cmake/EmbedPageFiles.cmake from the page's files; do not edit.
#include \"workbench/page/PageFiles.h\"

namespace ornr::workbench {

namespace {
${body}
constexpr PageFile kPageFiles[] = {
${table}};
}  // namespace

std::span<const PageFile> PageFiles() {
  return kPageFiles;
}

}  // namespace ornr::workbench
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
