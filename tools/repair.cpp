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
#include "options.h"
#include "output.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

bool exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

int run_recover(const Args& args) {
  CommandLine line;
  const int parsed = parse_command_line("recover", args, {}, {{"FILE"}, {}}, line);
  if (parsed != kGoOn) return parsed;
  const std::string& name = line.operands[0];
  const std::string path = absolute_path(name);
  if (!exists(path)) return fail(kExitUnreadable, name + ": cannot open the file");
  const JournalFile journal = read_journal(path, false);
  const std::string journal_name = journal_path(name);
  std::string error;
  if (journal.state == JournalFile::State::none) {
    if (!print_text(name + ": no journal beside the file: nothing to recover\n", error)) {
      return fail(kExitUnreadable, error);
    }
    return kExitOk;
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
    Library library;
    if (library.init_result() != 0) {
      return fail(kExitUnreadable, library_failure("dbInit", library.init_result()));
    }
    // As a reader: dbOpen rolls the journal back and changes nothing else.
    opened = dbOpen(path.c_str(), 0);
    if (opened >= 0) dbClose(opened);
  }
  if (exists(journal.path)) {
    return fail(
        kExitUnreadable,
        library_failure(name + ": " + journal_name + " cannot be rolled back", "dbOpen", opened));
  }
  const std::string text = journal.state == JournalFile::State::stale
                               ? name + ": removed " + journal_name + ", a stale journal (" +
                                     journal.why_stale + ") that restored nothing\n"
                               : name + ": rolled back " + journal_name + ": " +
                                     counted(journal.pages, "saved page", "saved pages") +
                                     " written back, the file cut to its committed length of " +
                                     std::to_string(journal.restored.length) + " bytes (it was " +
                                     std::to_string(before) + " bytes)\n";
  if (!print_text(text, error)) return fail(kExitUnreadable, error);
  if (opened < 0) {
    return fail(kExitUnreadable,
                library_failure(name + ": the restored file is still refused", "dbOpen", opened) +
                    "; recbase salvage copies what still reads");
  }
  return kExitOk;
}

int run_salvage(const Args& args) {
  CopyOptions o;
  if (const int status = parse_copy_command("salvage", "FILE", args, o); status != kGoOn) {
    return status;
  }
  const std::string in = absolute_path(o.input);
  const std::string out = absolute_path(o.output);
  if (!exists(in)) return fail(kExitUnreadable, o.input + ": cannot open the file");
  Workspace workspace;
  if (!workspace.ready()) return fail(kExitUnreadable, "cannot make a temporary directory");
  Library library(2);
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
      return fail(kExitUnreadable,
                  library_failure(o.input + ": " + journal_path(o.input) + " cannot be rolled back",
                                  "dbOpen", file) +
                      "; recbase recover applies it once it can");
    }
    how = library_failure(o.input + ": dbOpen refuses the file", "dbOpen", file) +
          "; its layout and records are read from the file itself";
  }
  std::string error;
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
                    counted(static_cast<std::int64_t>(findings.size()), "fault", "faults") +
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
                library_failure(o.output + ": the new file is refused", "dbOpen", check));
  }
  dbClose(check);

  std::string text = how.empty() ? "" : how + "\n";
  if (!findings.empty()) {
    text += o.input + ": " +
            counted(static_cast<std::int64_t>(findings.size()), "fault", "faults") +
            " in the layout (see recbase check)\n";
  }
  text += "kept: " + totals_text(report.passed) + "\n";
  if (report.left_behind.empty()) {
    text += "left behind: nothing\n";
  } else {
    text += "left behind: " + counted(report.types_left_behind, "data type", "data types") + ", " +
            counted(report.records_left_behind, "record", "records") + ", " +
            counted(report.sections_left_behind, "section", "sections") + ", " +
            counted(report.keys_left_behind, "key", "keys") + "\n";
    for (const std::string& l : report.left_behind) text += "  " + l + "\n";
  }
  for (const std::string& l : report.left_out) text += "left out: " + l + "\n";
  text += o.output + ": " + std::to_string(file_size(out)) + " bytes, sound\n";
  if (!print_text(text, error)) return fail(kExitUnreadable, error);
  return kExitOk;
}

}  // namespace rbtool
