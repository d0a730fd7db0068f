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

#include "archive.h"
#include "commands.h"
#include "layout.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "recbase.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

using DumpCall = std::function<std::int32_t(std::int32_t file)>;

struct Dump {
  const char* name;
  const char* function;
  DumpCall call;
};

// What a dump needs of the file before it runs.
enum class Needs { kNothing, kDataType, kSection, kAllBlocks };

struct Request {
  std::vector<Dump> dumps;
  Needs needs = Needs::kNothing;
  std::int32_t number = 0;  // the data type or section number asked for
};

const char kWhat[] =
    "filedef, datactrl, index TYPE, inddatatypes, indsections, section N, keys N, cache or sysdata";

// The dumps a command line asks for; kGoOn, or the exit code of a wrong one.
int parse_request(const CommandLine& line, Request& r) {
  const std::vector<std::string>& ops = line.operands;
  if (ops.size() == 1) {
    r.dumps = {
        {"filedef", "dbDumpFileDef", [](std::int32_t f) { return dbDumpFileDef(f); }},
        {"datactrl", "dbDumpAllDataCtrl", [](std::int32_t f) { return dbDumpAllDataCtrl(f); }}};
    return kGoOn;
  }
  const std::string& what = ops[1];
  const std::vector<Dump> single = {
      {"filedef", "dbDumpFileDef", [](std::int32_t f) { return dbDumpFileDef(f); }},
      {"datactrl", "dbDumpAllDataCtrl", [](std::int32_t f) { return dbDumpAllDataCtrl(f); }},
      {"inddatatypes", "dbDumpIndDataTypes", [](std::int32_t f) { return dbDumpIndDataTypes(f); }},
      {"indsections", "dbDumpIndSections", [](std::int32_t f) { return dbDumpIndSections(f); }},
      {"cache", "dbDumpCashCtrl", [](std::int32_t) { return dbDumpCashCtrl(); }},
      {"sysdata", "dbDumpSysData", [](std::int32_t) { return dbDumpSysData(); }}};
  for (const Dump& d : single) {
    if (what != d.name) continue;
    if (ops.size() > 2) {
      return usage_error(line.command, what + " takes no number, not '" + ops[2] + "'");
    }
    r.dumps = {d};
    if (what == "cache" || what == "sysdata") r.needs = Needs::kAllBlocks;
    return kGoOn;
  }
  const bool by_type = what == "index";
  if (!by_type && what != "section" && what != "keys") {
    return usage_error(line.command, "unknown dump '" + what + "': WHAT is " + kWhat);
  }
  const char* operand = by_type ? "TYPE" : "N (a section number)";
  if (ops.size() < 3) return usage_error(line.command, what + " needs " + operand);
  if (!number_operand(line.command, operand, ops[2], 0, INT32_MAX, r.number)) return kExitUsage;
  const std::int32_t n = r.number;
  r.needs = by_type ? Needs::kDataType : Needs::kSection;
  if (by_type) {
    r.dumps = {
        {"index", "dbDumpDataIndex", [n](std::int32_t f) { return dbDumpDataIndex(f, n, 3); }}};
  } else if (what == "section") {
    r.dumps = {
        {"section", "dbDumpSection", [n](std::int32_t f) { return dbDumpSection(f, n, 1); }}};
  } else {
    r.dumps = {
        {"keys", "dbDumpSectionKeys", [n](std::int32_t f) { return dbDumpSectionKeys(f, n, 1); }}};
  }
  return kGoOn;
}

// Why the file cannot answer the request, empty when it can.
std::string missing(const rb::FileLayout& image, std::int32_t file, const Request& r,
                    const std::string& name) {
  const std::string n = std::to_string(r.number);
  if (r.needs == Needs::kDataType) {
    const std::int32_t k = dbExistDataType(file, r.number);
    if (k < 0 || static_cast<std::size_t>(k) >= image.types.size()) {
      return "no data type " + n + " in " + name;
    }
    const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(k)];
    if ((dc.nFlags & rb::kTypeIndex) == 0) {
      return "data type " + n + " of " + name +
             " has no index vector: it is a plain data type, whose record numbers are its slots";
    }
  }
  if (r.needs == Needs::kSection) {
    const auto s = static_cast<std::size_t>(r.number);
    if (s >= image.ind_sections.size() || image.ind_sections[s] == -1) {
      return "no section " + n + " in " + name;
    }
  }
  return "";
}

// Reads every written block of every data area through the library's
// cache; returns the blocks that could not be read.
std::int64_t read_all_blocks(const rb::FileLayout& image, std::int32_t file) {
  std::int64_t failed = 0;
  for (const rb::DataCtrl& dc : image.types) {
    if (dc.nBlockSize < 1) continue;
    const std::int64_t area_end = dc.lOffsetData + written_area(image.def, dc);
    for (std::int64_t at = dc.lOffsetData; at + dc.nBlockSize <= area_end; at += dc.nBlockSize) {
      if (dbGetCashPtr(file, static_cast<std::int32_t>(at), dc.nBlockSize, nullptr) == nullptr) {
        ++failed;
      }
    }
  }
  return failed;
}

// Copies the dump file to standard output byte for byte (the library
// wrote it in text mode already); false, with the reason in error, when a
// byte did not reach it.
bool copy_to_stdout(const char* path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // nothing was dumped
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Output out;
  out.open("-", true, error);
  out.write(text);
  return out.close(error);
}

}  // namespace

int run_dump(const Args& args) {
  CommandLine line;
  if (const int status =
          parse_command_line("dump", args, {{"all", 0, false}}, {{"FILE"}, {"WHAT", "N"}}, line);
      status != kGoOn) {
    return status;
  }
  if (line.has("all")) {
    if (line.operands.size() > 1) {
      return usage_error("dump", "--all takes FILE only, not '" + line.operands[1] + "'");
    }
    return dump_all(line.operands[0]);
  }
  Request request;
  if (const int status = parse_request(line, request); status != kGoOn) return status;
  const std::string& name = line.operands[0];
  const std::string path = absolute_path(name);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  int status = kExitOk;
  {
    Library library;
    rb::FileLayout image;
    const std::int32_t file = open_database(library, path, name, image);
    if (file < 0) return kExitUnreadable;
    if (const std::string why = missing(image, file, request, name); !why.empty()) {
      return fail(kExitUnreadable, why);
    }
    if (request.needs == Needs::kAllBlocks) {
      const std::int64_t failed = read_all_blocks(image, file);
      if (failed > 0) {
        fail(kExitUnreadable, counted(failed, "block", "blocks") + " of " + name +
                                  " could not be read through the cache");
        status = kExitUnreadable;
      }
    }
    for (const Dump& d : request.dumps) {
      const std::int32_t r = d.call(file);
      if (r < 0) {
        status = fail(
            kExitUnreadable,
            library_failure(std::string("cannot dump ") + d.name + " of " + name, d.function, r));
        break;
      }
    }
  }
  std::string error;
  if (!copy_to_stdout("tovek.tst", error) && status == kExitOk) {
    status = fail(kExitUnreadable, error);
  }
  std::remove("tovek.tst");
  return status;
}

}  // namespace rbtool
