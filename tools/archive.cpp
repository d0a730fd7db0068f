// recbase dump FILE --all, load and compact: the whole database as text and
// back, and a copy of it through memory without the room nothing uses.
#include "archive.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "messages.h"
#include "recbase.h"
#include "session.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace rbtool {

namespace {

constexpr std::int32_t kCacheBlocks = 64;

std::string see_help(const char* command) {
  return std::string(" (see recbase ") + command + " --help)";
}

// A database opened for reading through the library, with the layout the
// validator reads from it; a journal an interrupted writer left has been
// rolled back by dbOpen (and a note says so).
struct Source {
  std::int32_t file = -1;
  rb::FileLayout image;
};

int open_source(const std::string& path, const std::string& name, Source& source) {
  const JournalFile journal = read_journal(path, false);
  source.file = dbOpen(path.c_str(), 0);
  if (source.file < 0) {
    return fail(kExitUnreadable, name + ": " + library_failure("dbOpen", source.file));
  }
  const std::string note = journal_note(journal, name, true);
  if (!note.empty()) std::fprintf(stderr, "recbase: %s\n", note.c_str());
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(path, nullptr, source.image, findings, error)) {
    return fail(kExitUnreadable, name + ": " + error);
  }
  return kExitOk;
}

std::string counts(const Totals& t) {
  const auto n = [](std::int64_t v, const char* one, const char* many) {
    return std::to_string(v) + " " + (v == 1 ? one : many);
  };
  return n(t.types, "data type", "data types") + ", " + n(t.places, "place", "places") + ", " +
         n(t.records, "record", "records") + ", " + n(t.sections, "section", "sections") + ", " +
         n(t.keys, "key", "keys");
}

bool flushed(std::FILE* out) { return std::fflush(out) == 0 && std::ferror(out) == 0; }

}  // namespace

bool parse_copy_options(const char* command, const Args& args, CopyOptions& options,
                        std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      if (i + 1 == args.size()) {
        error = std::string(command) + ": " + a + " needs the name of the new file";
        return false;
      }
      options.output = args[++i];
    } else if (a.rfind("--output=", 0) == 0) {
      options.output = a.substr(9);
    } else if (a == "--force") {
      options.force = true;
    } else if (a.size() > 1 && a[0] == '-') {
      error = std::string(command) + ": unknown option '" + a + "'";
      return false;
    } else if (options.input.empty()) {
      options.input = a;
    } else {
      error =
          std::string(command) + ": one input only, found '" + options.input + "' and '" + a + "'";
      return false;
    }
  }
  if (options.input.empty()) {
    error = std::string(command) + ": the input is missing";
  } else if (options.output.empty()) {
    error = std::string(command) + ": -o NEW, the file to make, is missing";
  } else if (options.output == "-") {
    error = std::string(command) + ": a database file cannot go to standard output";
  } else {
    return true;
  }
  return false;
}

int check_output(const char* command, const CopyOptions& options) {
  std::error_code ec;
  if (!std::filesystem::exists(options.output, ec)) return kExitOk;
  if (options.input != "-" && std::filesystem::equivalent(options.input, options.output, ec)) {
    return fail(kExitUsage, std::string(command) + ": " + options.output + " is the input itself");
  }
  if (!options.force) {
    return fail(kExitUsage, std::string(command) + ": " + options.output +
                                " exists; --force replaces it" + see_help(command));
  }
  return kExitOk;
}

TwoFiles::TwoFiles() : init_(dbInit(kCacheBlocks, 2)) {}

TwoFiles::~TwoFiles() {
  if (init_ == 0) dbExit();
}

std::int64_t file_size(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

int run_dump_all(const Args& args) {
  std::string name;
  for (const std::string& a : args) {
    if (a == "--all") continue;
    if (a.size() > 1 && a[0] == '-') {
      return fail(kExitUsage, "dump: unknown option '" + a + "'" + see_help("dump"));
    }
    if (!name.empty()) {
      return fail(kExitUsage, "dump: --all takes FILE only, found '" + a + "'" + see_help("dump"));
    }
    name = a;
  }
  if (name.empty()) return fail(kExitUsage, "dump: FILE is missing" + see_help("dump"));
  const std::string path = absolute_path(name);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  TwoFiles library;
  if (library.init_result() != 0) {
    return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
  }
  Source source;
  if (const int status = open_source(path, name, source); status != kExitOk) return status;
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // the text has plain line ends everywhere
#endif
  TextWriter writer(stdout);
  const std::unique_ptr<RecordSource> records = library_records(source.file);
  WalkReport report;
  std::string error;
  const bool walked = walk_database(source.image, *records, WalkOptions{}, writer, report, error);
  for (const std::string& w : report.warnings) {
    std::fprintf(stderr, "recbase: %s: warning: %s\n", name.c_str(), w.c_str());
  }
  for (const std::string& l : report.left_out) {
    std::fprintf(stderr, "recbase: %s: note: left out %s\n", name.c_str(), l.c_str());
  }
  if (!walked) {
    if (!writer.error().empty()) return fail(kExitUnreadable, "cannot write the dump");
    return fail(kExitUnreadable,
                name + ": " + error + " (recbase salvage copies what still reads)");
  }
  return kExitOk;
}

int run_load(const Args& args) {
  CopyOptions o;
  std::string error;
  if (!parse_copy_options("load", args, o, error))
    return fail(kExitUsage, error + see_help("load"));
  if (const int status = check_output("load", o); status != kExitOk) return status;
  const bool from_stdin = o.input == "-";
  const std::string text_name = from_stdin ? "standard input" : o.input;
  std::FILE* in = from_stdin ? stdin : std::fopen(o.input.c_str(), "rb");
  if (in == nullptr) return fail(kExitUnreadable, o.input + ": cannot open the text");
  const std::unique_ptr<std::FILE, FileCloser> owned(from_stdin ? nullptr : in);
  const std::string out = absolute_path(o.output);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  TwoFiles library;
  if (library.init_result() != 0) {
    return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
  }
  Builder builder(out);
  if (!read_dump(in, builder, error)) {
    builder.abandon();
    return fail(kExitUnreadable, text_name + ":" + error);
  }
  std::printf("%s: %s\n", o.output.c_str(), counts(builder.built()).c_str());
  return flushed(stdout) ? kExitOk : fail(kExitUnreadable, "cannot write to standard output");
}

int run_compact(const Args& args) {
  CopyOptions o;
  std::string error;
  if (!parse_copy_options("compact", args, o, error)) {
    return fail(kExitUsage, error + see_help("compact"));
  }
  if (const int status = check_output("compact", o); status != kExitOk) return status;
  const std::string in = absolute_path(o.input);
  const std::string out = absolute_path(o.output);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  TwoFiles library;
  if (library.init_result() != 0) {
    return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
  }
  Source source;
  if (const int status = open_source(in, o.input, source); status != kExitOk) return status;
  Builder builder(out);
  const std::unique_ptr<RecordSource> records = library_records(source.file);
  WalkReport report;
  WalkOptions options;
  options.tight = true;
  if (!walk_database(source.image, *records, options, builder, report, error)) {
    builder.abandon();
    return fail(kExitUnreadable, (builder.error().empty() ? o.input : o.output) + ": " + error);
  }
  for (const std::string& w : report.warnings) {
    std::fprintf(stderr, "recbase: %s: warning: %s\n", o.input.c_str(), w.c_str());
  }
  const std::int64_t before = file_size(in);
  const std::int64_t after = file_size(out);
  std::printf("%s: %s bytes\n", o.input.c_str(), std::to_string(before).c_str());
  std::printf("%s: %s bytes", o.output.c_str(), std::to_string(after).c_str());
  if (before > 0 && after >= 0) {
    const std::int64_t saved = (before - after) * 100 / before;
    std::printf(saved >= 0 ? ", %s%% smaller\n" : ", %s%% larger\n",
                std::to_string(saved >= 0 ? saved : -saved).c_str());
  } else {
    std::printf("\n");
  }
  std::printf("kept: %s\n", counts(report.passed).c_str());
  for (const std::string& l : report.left_out) std::printf("left out: %s\n", l.c_str());
  return flushed(stdout) ? kExitOk : fail(kExitUnreadable, "cannot write to standard output");
}

}  // namespace rbtool
