// The page's files, built into the program from web/ beside it.
#pragma once

#include <span>
#include <string_view>

namespace ornr::workbench {

struct PageFile {
  std::string_view path;  // relative to the page, e.g. "index.html"
  std::string_view data;
};

std::span<const PageFile> PageFiles();

}  // namespace ornr::workbench
