// Child processes of the benchmarks: measurements that need a fresh process run in one.
#pragma once

#include <string>
#include <vector>

namespace ornr::bench {

/// Runs the program args[0] with the rest as its arguments; returns what it printed.
std::string RunProgram(const std::vector<std::string>& args);
/// This program's own path, to run it again as a child.
std::string Self();

}  // namespace ornr::bench
