// Texts of the library's result codes: the German messages it writes to
// tovek.log, and what they mean in English.
#pragma once

#include <cstdint>
#include <string>

namespace rbtool {

// The German message of an error code; "Interner Fehler." for a code
// without a message of its own.
const char* error_message(std::int32_t code);

// What a code means, in English ("no such data type").
const char* code_meaning(std::int32_t code);

// "<function> <code>: <German message>", the library's own words; without
// the message for a code that has none of its own ("Interner Fehler.").
std::string library_text(const char* function, std::int32_t code);

// "<function> failed: <meaning> (<code> <German message>)".
std::string library_failure(const char* function, std::int32_t code);

// "<what>: <meaning> (<function> <code>: <German message>)", where what
// says in English what failed ("cannot open example.db").
std::string library_failure(const std::string& what, const char* function, std::int32_t code);

}  // namespace rbtool
