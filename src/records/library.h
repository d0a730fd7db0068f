// The library's life: dbInit builds the process-wide state (tunables,
// the cache's slots, the file table), dbExit closes every file and
// releases it all.
#pragma once

#include <cstdint>

namespace rb {

// dbInit after its entry: creates SysData (or resets its tunables), the
// Cashsystem with nCashBuffers slots and the file table with nFiles slots.
// Returns 0, -4 when SysData cannot be allocated, or a reported code
// (-1001 already initialised, -90, -1002..-1005 out of memory, undone).
std::int32_t init_library(std::int32_t nCashBuffers, std::int32_t nFiles);

// dbExit after its entry (the library is initialised): closes every file
// as dbCloseAll does, drops every cache slot as dbReset(-1) does (each
// step recording its own exported name), then releases all state. Returns 0.
std::int32_t exit_library();

}  // namespace rb
