// recbase: inspects database files from the command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

const char kUsage[] =
    "usage: recbase COMMAND [ARGS]   (recbase COMMAND --help for details)\n"
    "\n"
    "commands:\n"
    "  info FILE                      header, data types, sections, index vectors\n"
    "  dump FILE [WHAT]               the library's text dumps of the file\n"
    "  check FILE                     verifies the file without changing it\n"
    "  map FILE -o LAYOUT.svg         an SVG picture of the file's layout\n"
    "  export FILE TYPE [OPTIONS]     the records of a data type\n"
    "\n"
    "Files are opened for reading only. One thing may still change them: when\n"
    "dump or export open a file through the library, its dbOpen rolls back a\n"
    "journal that an interrupted writer left beside it (FILE-journal), as any\n"
    "dbOpen does, restoring the last committed state. check, info and map leave\n"
    "file and journal as they are.\n"
    "\n"
    "exit status:\n"
    "  0  success (check: the file is sound)\n"
    "  1  check: the file is not sound; one line per finding on standard output\n"
    "  2  the file cannot be read, or the library refused it or the request\n"
    "     (the reason in one line on standard error, with the library's message)\n"
    "  3  wrong command line\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* help;
};

const Command kCommands[] = {
    {"info", run_info,
     "usage: recbase info FILE\n"
     "Prints the format identifier, creation and update time, mode flags,\n"
     "lengths and counts of the header; one line per data type (catalogue\n"
     "index, number or section place, flags, record size, block size, records,\n"
     "area offset and length), per section (index, number, key depth, buckets,\n"
     "keys) and per index vector (kind, owner, length, offset).\n"},
    {"dump", run_dump,
     "usage: recbase dump FILE [WHAT]\n"
     "Runs the library's dumps on FILE and prints their text. WHAT is one of\n"
     "  sysdata        the library's tunables and error counters\n"
     "  filedef        the header\n"
     "  datactrl       every data type of the catalogue\n"
     "  index TYPE     index and iterator vector of data type number TYPE\n"
     "  inddatatypes   the IndDataTypes vector\n"
     "  indsections    the IndSections vector\n"
     "  section N      the section of section number N\n"
     "  keys N         the keys of section number N, bucket by bucket\n"
     "  cache          the block cache\n"
     "Without WHAT: filedef and datactrl.\n"},
    {"check", run_check,
     "usage: recbase check FILE\n"
     "Verifies FILE without changing it: identifier and record sizes, lengths\n"
     "and counts of the header; every table and vector inside the table area,\n"
     "none overlapping another or a data area; the data areas end to end from\n"
     "4096 in catalogue order; index entries inside their areas; the\n"
     "IndDataTypes and IndSections entries; the sections' buckets; every key\n"
     "read through the library. A journal beside FILE that the next dbOpen\n"
     "would roll back is a finding of its own, with its committed length and\n"
     "saved pages; the checks then see the state the rollback restores, and\n"
     "no key is read through the library. A stale journal (empty or not\n"
     "valid) restores nothing: it is noted as harmless. Exit status 0 when the\n"
     "file is sound, 1 with one line per finding when it is not, 2 when it\n"
     "cannot be read at all.\n"},
    {"map", run_map,
     "usage: recbase map FILE -o LAYOUT.svg   (-o - for standard output)\n"
     "Draws the file as one bar to a linear scale, with an offset axis below:\n"
     "the header block, the area of every data type, the index vectors, the\n"
     "tables and unused space, one colour per kind. A region is named on the\n"
     "bar where its name fits, numbered otherwise; the list below gives every\n"
     "region's offsets and length and a data area's fill (records written /\n"
     "slots). A region so large that the others would be too narrow to read\n"
     "is drawn with a zig-zag cut stating the length left out. Beyond 240\n"
     "regions, runs of neighbours of one kind (then data areas of any kind)\n"
     "are drawn as one group with a count. Exit status 2 also when the\n"
     "picture cannot be written.\n"},
    {"export", run_export,
     "usage: recbase export FILE TYPE [--format csv|jsonl|hex] [--section N]\n"
     "Prints the records of data type number TYPE with their record numbers\n"
     "and sub-indices (iterator types have several records per number),\n"
     "the record bytes as hexadecimal text. With --section N, TYPE is a place\n"
     "0..9 of section number N: the data type at that place is exported for\n"
     "every key, in key order, with the key values.\n"
     "  csv    (default) a header line, then key0..,record,sub,data\n"
     "  jsonl  one object per record: {\"key\":[..],\"record\":R,\"sub\":S,\"data\":\"..\"}\n"
     "  hex    a heading per record and a hex dump with printable characters\n"},
};

bool is_help(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

bool parse_int(const std::string& text, std::int32_t& value) {
  if (text.empty() || text.size() > 11) return false;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

int fail(int code, const std::string& text) {
  std::fprintf(stderr, "recbase: %s\n", text.c_str());
  return code;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (is_help(name)) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("recbase %s\n", dbGetLibVersion());
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    Args args(argv + 2, argv + argc);
    for (const std::string& a : args) {
      if (is_help(a)) {
        std::fputs(command.help, stdout);
        return kExitOk;
      }
    }
    return command.run(args);
  }
  return fail(kExitUsage, "unknown command '" + name + "' (see recbase --help)");
}

}  // namespace rbtool

int main(int argc, char** argv) { return rbtool::main(argc, argv); }
