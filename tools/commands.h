// The commands of the recbase tool. Each takes the arguments after its
// name (parsed with parse_command_line, options.h), writes its result to
// standard output and its failures, one line each, to standard error, and
// returns the exit code (session.h). main checks that standard output took
// every byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rbtool {

using Args = std::vector<std::string>;

int run_info(const Args& args);
int run_dump(const Args& args);
int run_check(const Args& args);
int run_map(const Args& args);
int run_export(const Args& args);
// load, compact (archive.cpp); recover, salvage (repair.cpp).
int run_load(const Args& args);
int run_compact(const Args& args);
int run_recover(const Args& args);
int run_salvage(const Args& args);

// The help text of a command (its first line the usage line), null for a
// name that is no command.
const char* command_help(const std::string& name);

// Names the command being run in the messages of fail and usage errors.
void set_command_name(const std::string& command);

// A decimal int32 without anything around it.
bool parse_int(const std::string& text, std::int32_t& value);

// "recbase COMMAND: <text>" on standard error; returns code.
int fail(int code, const std::string& text);

}  // namespace rbtool
