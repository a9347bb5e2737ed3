// Test-only failure injection at the module's own failure points. Compiled into every build but
// off: nothing outside the module's own tests can arm it (the module exports none of this), and
// an unarmed point costs one comparison.
#pragma once

#include <cstdint>

namespace ornr::fault {

enum class Point {
  DocumentAllocation,  ///< each allocation the view-model document makes
  DocumentCreation,    ///< each creation of the view-model document
  Push,                ///< each hand-over of a document to the panel
  Bridge,              ///< each fetch of the bridge (GetIPrismetWrapper)
};

/// Makes the k-th pass of point from now fail (k >= 1); 0 disarms it. Every other point is
/// disarmed, and the pass counts start again.
void FailAt(Point point, std::uint64_t k) noexcept;
/// Counts a pass of point; true when this pass is the one to fail.
bool Fires(Point point) noexcept;
/// True once the armed failure has fired.
bool Fired() noexcept;

}  // namespace ornr::fault
