// Test-only control of the stand-in host: make one of its calls fail.
#pragma once

#include <cstdint>

namespace ornhost {

/// The k-th host call from now (counted over every call of the module's host interface except
/// those that release something: a release that fails would only leak) throws std::bad_alloc,
/// as a host out of memory does. 0 disarms; arming again starts the count again.
void FailHostCallAt(std::uint64_t k);
/// True once the armed failure has fired.
bool HostCallFailureFired();

}  // namespace ornhost
