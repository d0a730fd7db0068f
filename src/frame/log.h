// The error and warning log "tovek.log".
#pragma once

#include <cstdint>

namespace rb {

inline constexpr const char kLogFileName[] = "tovek.log";

// Counts code in SysData, appends the three-line record to the log and
// returns code; -4 without SysData. (dbSetError / dbSetWarnung.)
std::int32_t report(std::int32_t code);
std::int32_t report_warning(std::int32_t code);

// The German message of an error code, "Interner Fehler." for codes that
// have none.
const char* error_message(std::int32_t code);

}  // namespace rb
