// The recbase tool run as a program by the tool's tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/testkit.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace rbtest {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// A file the tool wrote in text mode, with Windows line ends made plain.
inline std::string text_of(const std::string& path) {
  std::string text = read_file(path);
  std::erase(text, '\r');
  return text;
}

// Runs the tool with args (a command line for the shell, redirections
// allowed). The tests run in <build>/testwork/tool, the tool lies in
// <build>. Standard output goes to out (read back when it is tool.out).
inline ToolRun run_tool(const std::string& args, const std::string& out = "tool.out") {
#if defined(_WIN32)
  const std::string tool = "..\\..\\" RECBASE_TOOL_NAME;
#else
  const std::string tool = "../../" RECBASE_TOOL_NAME;
#endif
  const int raw = std::system((tool + " " + args + " >" + out + " 2>tool.err").c_str());
#if defined(_WIN32)
  const int status = raw;
#else
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  return {status, out == "tool.out" ? text_of("tool.out") : "", text_of("tool.err")};
}

inline bool has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

inline int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A record of 8 bytes: its number and a value.
struct Pair {
  std::int32_t number;
  std::int32_t value;
};

}  // namespace rbtest
