// The command line of every command: options parsed with getopt_long, the
// operands that remain, and one line on standard error for each mistake.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "commands.h"

namespace rbtool {

// One option of a command: --name, or -c when short_name is not 0.
struct OptionSpec {
  const char* name;
  char short_name;
  bool takes_value;
};

// The operands a command takes, by the names its usage line gives them.
struct Operands {
  std::vector<const char*> required;  // e.g. {"FILE", "TYPE"}
  std::vector<const char*> optional;  // taken after the required ones
};

// A parsed command line.
class CommandLine {
 public:
  std::string command;
  std::vector<std::string> operands;

  bool has(const std::string& name) const { return values_.count(name) != 0; }
  // The value of the last --name given, empty when it was not given.
  std::string value(const std::string& name) const;

  // The value of --name as a number from low to high (def when not given);
  // false, with the mistake on standard error, when it is not one.
  bool number(const std::string& name, std::int32_t low, std::int32_t high,
              std::int32_t& out) const;
  // The value of --name as the index of one of choices (out untouched when
  // it was not given); false, with the mistake on standard error, for any
  // other text.
  bool choice(const std::string& name, std::initializer_list<const char*> choices,
              std::size_t& out) const;

  void set(const std::string& name, const std::string& value) { values_[name] = value; }

 private:
  std::map<std::string, std::string> values_;
};

// The result of parse_command_line when the command is to go on.
inline constexpr int kGoOn = -1;

// Parses the arguments of command with getopt_long against options; every
// command also takes --help (-h) and --version. Returns kGoOn, or the exit
// code to end with: 0 after the help or the version was printed, kExitUsage
// after one line naming the mistake (an unknown option, a missing value, a
// missing or surplus operand).
int parse_command_line(const std::string& command, const Args& args,
                       const std::vector<OptionSpec>& options, const Operands& operands,
                       CommandLine& out);

// "recbase COMMAND: text" on standard error, with the usage line of the
// command; returns kExitUsage.
int usage_error(const std::string& command, const std::string& text);

// A whole operand as a number from low to high; false, with the mistake on
// standard error, when it is not one. what names the operand ("TYPE").
bool number_operand(const std::string& command, const char* what, const std::string& text,
                    std::int32_t low, std::int32_t high, std::int32_t& out);

// "1 section", "2 sections": n and the word, plural when n is not 1.
std::string counted(std::int64_t n, const char* singular, const char* plural);

// n with a comma between groups of three digits: "1,070,000".
std::string with_commas(std::int64_t n);

}  // namespace rbtool
