// Texts of the library's result codes, as it writes them to tovek.log.
#pragma once

#include <cstdint>
#include <string>

namespace rbtool {

// The German message of an error code; "Interner Fehler." for a code
// without a message of its own.
const char* error_message(std::int32_t code);

// "<function> failed: <code> <message>", the one-line form the tool prints.
std::string library_failure(const char* function, std::int32_t code);

}  // namespace rbtool
