// What a closing master file keeps of the setups it could not store.
#pragma once

#include "host/session/HostState.h"

namespace ornhost::detail {

/// Writes the setups of file that closing says were not stored (failed saves, and what a Yes
/// would have saved when no one answered) to a fresh recovery file and reports where, or that
/// none could be written. Does nothing when there are none. Never throws.
void KeepUnsavedSetups(HostFile& file, const Closing& closing) noexcept;

}  // namespace ornhost::detail
