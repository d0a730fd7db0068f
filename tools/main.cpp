// recbase: inspects database files from the command line.
#include <cstdio>
#include <string>

#include "commands.h"
#include "output.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

const char kUsage[] =
    "usage: recbase COMMAND [ARGS]   (recbase COMMAND --help for details)\n"
    "\n"
    "commands:\n"
    "  info FILE [--json]             header, data types, sections, index vectors\n"
    "  dump FILE [WHAT]               the library's text dumps of the file\n"
    "  check FILE [--deep] [--json]   verifies the file without changing it\n"
    "  map FILE -o LAYOUT.svg         an SVG picture of the file's layout\n"
    "  export FILE TYPE [OPTIONS]     the records of a data type\n"
    "  dump FILE --all                the whole database as text, for load\n"
    "  load TEXT -o NEW [--force]     a new database file from that text\n"
    "  compact FILE -o NEW [--force]  a copy without the room nothing uses\n"
    "  recover FILE                   rolls back the journal an interrupted writer left\n"
    "  salvage FILE -o NEW [--force]  copies what still reads of a damaged file\n"
    "\n"
    "Every command takes --help and --version. Files are opened for reading\n"
    "only; load, compact and salvage write the new file NEW only. One thing may\n"
    "still change a file: when a command opens it through the library (dump,\n"
    "export, compact, salvage, recover), dbOpen rolls back a journal that an\n"
    "interrupted writer left beside it (FILE-journal), as any dbOpen does,\n"
    "restoring the last committed state. check, info and map leave file and\n"
    "journal as they are.\n"
    "\n"
    "exit status:\n"
    "  0  success (check: the file is sound)\n"
    "  1  check: the file is not sound; its findings on standard output\n"
    "  2  the input cannot be read or is damaged, the file lacks what was asked\n"
    "     for (a data type, a section), or a write to the output failed\n"
    "     (standard output or -o FILE); one line on standard error says why\n"
    "  3  wrong command line (also: NEW exists and --force is not given); one\n"
    "     line on standard error names the mistake\n";

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* help;
};

const Command kCommands[] = {
    {"info", run_info,
     "usage: recbase info FILE [--json]\n"
     "Prints the format identifier, creation and update time, mode flags,\n"
     "lengths and counts of the header; one line per data type (catalogue\n"
     "index, number or section place, flags, record size, block size, records,\n"
     "area offset and length), per section (index, number, key depth, buckets,\n"
     "keys) and per index vector (kind, owner, length, offset).\n"
     "  --json   the same facts as one JSON object with the members \"file\",\n"
     "           \"header\", \"data_types\", \"sections\", \"index_vectors\" and\n"
     "           \"faults\" (the number of layout faults)\n"
     "Exit status 2 when FILE cannot be read or its layout is damaged: what\n"
     "can be read is still printed, and recbase check FILE says what is wrong.\n"},
    {"dump", run_dump,
     "usage: recbase dump FILE [WHAT [N]]\n"
     "Runs the library's dumps on FILE and prints their text (in the library's\n"
     "German words). WHAT is one of\n"
     "  filedef        the header\n"
     "  datactrl       every data type of the catalogue\n"
     "  index TYPE     index and iterator vector of data type number TYPE\n"
     "  inddatatypes   the IndDataTypes vector\n"
     "  indsections    the IndSections vector\n"
     "  section N      the section of section number N\n"
     "  keys N         the keys of section number N, bucket by bucket\n"
     "  cache          the block cache after every block of every data area of\n"
     "                 FILE was read through it: the last blocks read, at most\n"
     "                 64, each with its file offset and length\n"
     "  sysdata        the library's tunables and error counters after the same\n"
     "                 reading; the tunables are the library's defaults (a file\n"
     "                 does not store them), the counters count the failures of\n"
     "                 opening FILE and reading its blocks\n"
     "Without WHAT: filedef and datactrl. A data type without an index vector,\n"
     "or a number that names no data type or section, is an error (exit 2).\n"
     "\n"
     "usage: recbase dump FILE --all\n"
     "Prints the whole database as text (docs/dump-format.md): the mode and the\n"
     "sizes dbCreate needs, every numbered data type with its kind, sizes and\n"
     "room, every record with its number and sub-index as hexadecimal bytes, and\n"
     "every section with its keys, each key with the data types at its places\n"
     "and their records. recbase load makes the database again from it; a dump\n"
     "of that file is the same text. Data types that no number or key names,\n"
     "and sections that no section number names, are left out (a note on\n"
     "standard error says so). A record that cannot be read ends the dump with\n"
     "exit status 2.\n"},
    {"check", run_check,
     "usage: recbase check FILE [--deep] [--json] [--max-findings N]\n"
     "Verifies FILE without changing it: identifier and record sizes, lengths\n"
     "and counts of the header; every table and vector inside the table area,\n"
     "none overlapping another or a data area; the data areas end to end from\n"
     "4096 in catalogue order; index entries inside their areas; the\n"
     "IndDataTypes and IndSections entries; the sections' buckets. A journal\n"
     "beside FILE that the next dbOpen would roll back is a finding of its own,\n"
     "with its committed length and saved pages; the checks then see the state\n"
     "the rollback restores. A stale journal (empty or not valid) restores\n"
     "nothing: it is noted as harmless.\n"
     "Findings with one cause are one finding: the first of them with its\n"
     "values and how many more there are. They are listed cause first: the\n"
     "header, then the tables, then the vectors; a fault of the header or of\n"
     "a table is marked as the likely cause of those after it. Each finding\n"
     "names its rule, field and offset, what was seen against what was\n"
     "expected, says in English what it means, and gives the code dbOpen\n"
     "answers for it with the library's German message.\n"
     "  --deep             also, on a file whose layout is sound and that has\n"
     "                     no pending journal: reads every block of every data\n"
     "                     area; checks every index and iterator entry against\n"
     "                     the slots of its area (no slot used twice) and each\n"
     "                     data type's record count against its index; reads\n"
     "                     every key of every section and looks it up through\n"
     "                     the library (dbExistKey): a key in the wrong bucket,\n"
     "                     one a look-up cannot reach, a place naming a data type\n"
     "                     of another section, or largest key values that do not\n"
     "                     match the keys are findings\n"
     "  --json             the report as one JSON object: \"file\", \"sound\",\n"
     "                     \"checks\" (those that ran), \"findings\" (an array:\n"
     "                     rule, field, entry, offset, seen, bound, count,\n"
     "                     explanation, follows, and \"library\" with dbOpen's\n"
     "                     code and German message where one applies),\n"
     "                     \"left_out\" and \"notes\"\n"
     "  --max-findings N   lists at most N findings (default 20, 0 for all) and\n"
     "                     says how many were left out\n"
     "Exit status 0 when the file is sound, 1 when it is not, 2 when it cannot\n"
     "be read at all.\n"},
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
     "picture cannot be written.\n"
     "  -o, --output FILE   where the SVG goes; - for standard output\n"},
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
    {"load", run_load,
     "usage: recbase load TEXT -o NEW [--force]\n"
     "Makes the database file NEW from the text of recbase dump FILE --all (TEXT\n"
     "- reads standard input), through the library: dbCreate with every numbered\n"
     "data type, dbWrite for their records, dbBeginSections, dbAddKey and\n"
     "dbBeginDataS / dbWriteS for sections, keys and their data types. An\n"
     "existing NEW is replaced only with --force. When a line cannot be loaded,\n"
     "NEW is removed and one line names the line of TEXT and why (exit status 2).\n"
     "  -o, --output NEW   the database file to make (not - : a database file\n"
     "                     does not go to standard output)\n"
     "  --force            replaces NEW when it exists (never the input itself)\n"},
    {"compact", run_compact,
     "usage: recbase compact FILE -o NEW [--force]\n"
     "Copies FILE to NEW as dump --all and load would, through memory: every\n"
     "area sized for the records it holds, without data types and sections that\n"
     "nothing names. Prints the sizes of both files and what was kept.\n"
     "  -o, --output NEW   the database file to make (not - : a database file\n"
     "                     does not go to standard output)\n"
     "  --force            replaces NEW when it exists (never the input itself)\n"},
    {"recover", run_recover,
     "usage: recbase recover FILE\n"
     "Rolls back FILE-journal, the journal a writer left when it was interrupted\n"
     "between two commit points, as dbOpen does: the saved pages are written back\n"
     "and FILE is cut to its committed length. Says what it restored, or that there\n"
     "was nothing to do; a stale journal (one that restores nothing) is removed.\n"
     "Refused while a writer holds the file.\n"},
    {"salvage", run_salvage,
     "usage: recbase salvage FILE -o NEW [--force]\n"
     "Copies whatever still reads of a damaged FILE into NEW, a sound file: data\n"
     "types whose descriptors hold, every record that reads, sections and keys\n"
     "that hold, with the data types at their places. Reads through the library\n"
     "when FILE opens, else from its bytes by the layout the validator reads.\n"
     "Reports what it kept and what it left behind, and why. Exit status 0 when\n"
     "NEW was made, 2 when nothing of FILE can be read.\n"
     "  -o, --output NEW   the database file to make (not - : a database file\n"
     "                     does not go to standard output)\n"
     "  --force            replaces NEW when it exists (never the input itself)\n"},
};

}  // namespace

const char* command_help(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return command.help;
  }
  return nullptr;
}

namespace {

int run(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("recbase %s (library %s)\n", RECBASE_TOOL_VERSION, dbGetLibVersion());
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    set_command_name(name);
    return command.run(Args(argv + 2, argv + argc));
  }
  return fail(kExitUsage, "unknown command '" + name + "' (see recbase --help)");
}

}  // namespace

int main(int argc, char** argv) {
  int status = run(argc, argv);
  std::string error;
  if (!close_standard_output(error)) {
    // A command that ended on a failed write has said so already.
    if (status != kExitUnreadable) fail(kExitUnreadable, error);
    status = kExitUnreadable;
  }
  return status;
}

}  // namespace rbtool

int main(int argc, char** argv) { return rbtool::main(argc, argv); }
