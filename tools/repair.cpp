// recbase recover and salvage: a file after a crash, and a damaged one.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "archive.h"
#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "messages.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

bool exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

std::string plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool flushed(std::FILE* out) { return std::fflush(out) == 0 && std::ferror(out) == 0; }

}  // namespace

int run_recover(const Args& args) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
    return fail(kExitUsage, "recover: expected FILE (see recbase recover --help)");
  }
  const std::string& name = args[0];
  const std::string path = absolute_path(name);
  if (!exists(path)) return fail(kExitUnreadable, name + ": cannot open the file");
  const JournalFile journal = read_journal(path, false);
  const std::string journal_name = journal_path(name);
  if (journal.state == JournalFile::State::none) {
    std::printf("%s: no journal beside the file: nothing to recover\n", name.c_str());
    return flushed(stdout) ? kExitOk : fail(kExitUnreadable, "cannot write to standard output");
  }
  if (journal.state == JournalFile::State::pending && journal.writer_at_work) {
    return fail(kExitUnreadable, name + ": a writer holds the file and is at work on it: " +
                                     journal_name + " is in use, not left behind");
  }
  const std::int64_t before = file_size(path);
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  std::int32_t opened = 0;
  {
    TwoFiles library;
    if (library.init_result() != 0) {
      return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
    }
    // As a reader: dbOpen rolls the journal back and changes nothing else.
    opened = dbOpen(path.c_str(), 0);
    if (opened >= 0) dbClose(opened);
  }
  if (exists(journal.path)) {
    return fail(kExitUnreadable, name + ": " + journal_name + " cannot be rolled back: " +
                                     library_failure("dbOpen", opened));
  }
  if (journal.state == JournalFile::State::stale) {
    std::printf("%s: removed %s, a stale journal (%s) that restored nothing\n", name.c_str(),
                journal_name.c_str(), journal.why_stale.c_str());
  } else {
    std::printf(
        "%s: rolled back %s: %s written back, the file cut to its committed length of %s "
        "bytes (it was %s bytes)\n",
        name.c_str(), journal_name.c_str(),
        plural(journal.pages, "saved page", "saved pages").c_str(),
        std::to_string(journal.restored.length).c_str(), std::to_string(before).c_str());
  }
  if (!flushed(stdout)) return fail(kExitUnreadable, "cannot write to standard output");
  if (opened < 0) {
    return fail(kExitUnreadable, name + ": the restored file is still refused: " +
                                     library_failure("dbOpen", opened) +
                                     " (recbase salvage copies what still reads)");
  }
  return kExitOk;
}

int run_salvage(const Args& args) {
  CopyOptions o;
  std::string error;
  if (!parse_copy_options("salvage", args, o, error)) {
    return fail(kExitUsage, error + " (see recbase salvage --help)");
  }
  if (const int status = check_output("salvage", o); status != kExitOk) return status;
  const std::string in = absolute_path(o.input);
  const std::string out = absolute_path(o.output);
  if (!exists(in)) return fail(kExitUnreadable, o.input + ": cannot open the file");
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  TwoFiles library;
  if (library.init_result() != 0) {
    return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
  }
  // Through the library where the file opens (a journal left beside it is
  // rolled back first); from the bytes of the file where it does not.
  const JournalFile journal = read_journal(in, false);
  const std::int32_t file = dbOpen(in.c_str(), 0);
  std::string how;
  if (file >= 0) {
    how = journal_note(journal, o.input, true);
  } else {
    const JournalFile after = read_journal(in, false);
    if (after.state == JournalFile::State::pending ||
        after.state == JournalFile::State::unreadable) {
      return fail(kExitUnreadable, o.input + ": " + journal_path(o.input) +
                                       " cannot be rolled back (" +
                                       library_failure("dbOpen", file) +
                                       "); recbase recover applies it once it can");
    }
    how = o.input + ": dbOpen refuses the file (" + library_failure("dbOpen", file) +
          "); its layout and records are read from the file itself";
  }
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  if (!load_file(in, nullptr, image, findings, error)) {
    return fail(kExitUnreadable, o.input + ": " + error);
  }
  if (!image.has_header) {
    return fail(kExitUnreadable,
                o.input + ": not a database file (no TOVEK header): nothing to " + "salvage");
  }
  if (image.types.empty() && image.def.nDataTypes > 0) {
    return fail(kExitUnreadable,
                o.input + ": its DataCtrl table cannot be read (" +
                    plural(static_cast<std::int64_t>(findings.size()), "fault", "faults") +
                    " in the layout, see recbase check): nothing to salvage");
  }
  const std::unique_ptr<RecordSource> records =
      file >= 0 ? library_records(file) : raw_records(in, image);
  if (!records) return fail(kExitUnreadable, o.input + ": cannot open the file");
  Builder builder(out);
  WalkReport report;
  WalkOptions options;
  options.strict = false;
  options.findings = &findings;
  if (!walk_database(image, *records, options, builder, report, error)) {
    builder.abandon();
    return fail(kExitUnreadable, o.output + ": " + error);
  }
  // The new file must open as any other.
  const std::int32_t check = dbOpen(out.c_str(), 0);
  if (check < 0) {
    builder.abandon();
    std::error_code ec;
    std::filesystem::remove(out, ec);
    return fail(kExitUnreadable,
                o.output + ": the new file is refused: " + library_failure("dbOpen", check));
  }
  dbClose(check);

  if (!how.empty()) std::printf("%s\n", how.c_str());
  if (!findings.empty()) {
    std::printf("%s: %s in the layout (see recbase check)\n", o.input.c_str(),
                plural(static_cast<std::int64_t>(findings.size()), "fault", "faults").c_str());
  }
  const Totals& t = report.passed;
  std::printf(
      "kept: %s, %s, %s, %s, %s\n", plural(t.types, "data type", "data types").c_str(),
      plural(t.places, "place", "places").c_str(), plural(t.records, "record", "records").c_str(),
      plural(t.sections, "section", "sections").c_str(), plural(t.keys, "key", "keys").c_str());
  if (report.left_behind.empty()) {
    std::printf("left behind: nothing\n");
  } else {
    std::printf("left behind: %s, %s, %s, %s\n",
                plural(report.types_left_behind, "data type", "data types").c_str(),
                plural(report.records_left_behind, "record", "records").c_str(),
                plural(report.sections_left_behind, "section", "sections").c_str(),
                plural(report.keys_left_behind, "key", "keys").c_str());
    for (const std::string& l : report.left_behind) std::printf("  %s\n", l.c_str());
  }
  for (const std::string& l : report.left_out) std::printf("left out: %s\n", l.c_str());
  std::printf("%s: %s bytes, sound\n", o.output.c_str(), std::to_string(file_size(out)).c_str());
  return flushed(stdout) ? kExitOk : fail(kExitUnreadable, "cannot write to standard output");
}

}  // namespace rbtool
