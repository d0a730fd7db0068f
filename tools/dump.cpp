// recbase dump: the library's own text dumps of a file, which it appends
// to tovek.tst in the current directory; the tool runs them in its private
// directory and copies the text to standard output.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "messages.h"
#include "recbase.h"
#include "session.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace rbtool {

namespace {

using DumpCall = std::function<std::int32_t(std::int32_t file)>;

struct Dump {
  const char* name;
  const char* function;
  DumpCall call;
};

// The dumps a command line asks for, empty (with a message) when it is wrong.
std::vector<Dump> dumps_for(const Args& args) {
  const std::string what = args.size() > 1 ? args[1] : "";
  std::int32_t n = 0;
  const bool numbered = args.size() == 3 && parse_int(args[2], n);
  if (args.size() == 1) {
    return {{"filedef", "dbDumpFileDef", [](std::int32_t f) { return dbDumpFileDef(f); }},
            {"datactrl", "dbDumpAllDataCtrl", [](std::int32_t f) { return dbDumpAllDataCtrl(f); }}};
  }
  if (args.size() == 2) {
    const std::vector<Dump> single = {
        {"sysdata", "dbDumpSysData", [](std::int32_t) { return dbDumpSysData(); }},
        {"filedef", "dbDumpFileDef", [](std::int32_t f) { return dbDumpFileDef(f); }},
        {"datactrl", "dbDumpAllDataCtrl", [](std::int32_t f) { return dbDumpAllDataCtrl(f); }},
        {"inddatatypes", "dbDumpIndDataTypes",
         [](std::int32_t f) { return dbDumpIndDataTypes(f); }},
        {"indsections", "dbDumpIndSections", [](std::int32_t f) { return dbDumpIndSections(f); }},
        {"cache", "dbDumpCashCtrl", [](std::int32_t) { return dbDumpCashCtrl(); }}};
    for (const Dump& d : single) {
      if (what == d.name) return {d};
    }
  }
  if (numbered && what == "index") {
    return {{"index", "dbDumpDataIndex", [n](std::int32_t f) { return dbDumpDataIndex(f, n, 3); }}};
  }
  if (numbered && what == "section") {
    return {{"section", "dbDumpSection", [n](std::int32_t f) { return dbDumpSection(f, n, 1); }}};
  }
  if (numbered && what == "keys") {
    return {
        {"keys", "dbDumpSectionKeys", [n](std::int32_t f) { return dbDumpSectionKeys(f, n, 1); }}};
  }
  return {};
}

// Copies the dump file to standard output byte for byte.
bool copy_to_stdout(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // nothing was dumped
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::fflush(stdout);
#if defined(_WIN32)
  // The library wrote the file in text mode already.
  const int previous = _setmode(_fileno(stdout), _O_BINARY);
#endif
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  std::fflush(stdout);
#if defined(_WIN32)
  _setmode(_fileno(stdout), previous);
#endif
  return written;
}

}  // namespace

int run_dump(const Args& args) {
  if (std::find(args.begin(), args.end(), "--all") != args.end()) return run_dump_all(args);
  const std::vector<Dump> dumps = args.empty() ? std::vector<Dump>{} : dumps_for(args);
  if (dumps.empty()) return fail(kExitUsage, "dump: unknown dump (see recbase dump --help)");
  const std::string path = absolute_path(args[0]);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  int status = kExitOk;
  {
    Library library;
    const std::int32_t file = library.open(path, args[0]);
    if (file < 0) return fail(kExitUnreadable, args[0] + ": " + library_failure("dbOpen", file));
    for (const Dump& d : dumps) {
      const std::int32_t r = d.call(file);
      if (r < 0) {
        status = fail(kExitUnreadable, args[0] + ": " + library_failure(d.function, r));
        break;
      }
    }
  }
  if (!copy_to_stdout("tovek.tst")) status = fail(kExitUnreadable, "cannot write the dump");
  std::remove("tovek.tst");
  return status;
}

}  // namespace rbtool
