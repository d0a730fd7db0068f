// recbase check: verifies a database file without changing it.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "session.h"

namespace rbtool {

namespace {

using Findings = std::vector<std::string>;

// A rule the file breaks, in words: the rule, the field and what was seen.
std::string describe(const rb::Finding& f) {
  std::string text = std::string(f.rule) + ": " + f.field;
  if (f.entry >= 0) text += " of entry " + std::to_string(f.entry);
  if (f.offset >= 0) text += " at offset " + std::to_string(f.offset);
  return text + " is " + std::to_string(f.seen) + ", against " + std::to_string(f.bound) +
         " (dbOpen refuses the file: " + std::to_string(f.code) + ")";
}

// The journal beside the file: a finding when a rollback would change the
// file, a note when it restores nothing.
void check_journal(const JournalFile& j, const std::string& name, Findings& out,
                   std::string& note) {
  const std::string journal = journal_path(name);
  switch (j.state) {
    case JournalFile::State::none:
      break;
    case JournalFile::State::stale:
      note = journal + " is stale (" + j.why_stale +
             "): it restores nothing and is harmless; the next dbOpen removes it";
      break;
    case JournalFile::State::unreadable:
      out.push_back(journal + " cannot be read: dbOpen refuses the file (-19) until it can");
      break;
    case JournalFile::State::pending: {
      const std::string saved = "committed length " + std::to_string(j.restored.length) +
                                " bytes, " + std::to_string(j.pages) +
                                (j.pages == 1 ? " saved page" : " saved pages");
      if (j.writer_at_work) {
        out.push_back(journal + " is in use: a writer holds the file and has changed it since " +
                      "its last commit (" + saved +
                      " so far); the checks below see the last committed state");
      } else {
        out.push_back(journal + " is pending: a writer was interrupted; the next dbOpen restores " +
                      "the last committed state (" + saved + "); the checks below see that state");
      }
      break;
    }
  }
}

}  // namespace

int run_check(const Args& args) {
  if (args.size() != 1) return fail(kExitUsage, "check: expected FILE (see recbase check --help)");
  const std::string path = absolute_path(args[0]);
  const JournalFile journal = read_journal(path);
  const bool pending = journal.state == JournalFile::State::pending;
  rb::FileLayout image;
  std::vector<rb::Finding> layout_findings;
  std::string error;
  if (!load_file(path, pending ? &journal.restored : nullptr, image, layout_findings, error)) {
    return fail(kExitUnreadable, args[0] + ": " + error);
  }
  Findings findings;
  std::string note;
  check_journal(journal, args[0], findings, note);
  const std::size_t journal_findings = findings.size();
  for (const rb::Finding& f : layout_findings) findings.push_back(describe(f));
  const char* name = args[0].c_str();
  if (!note.empty()) std::printf("%s: note: %s\n", name, note.c_str());
  for (const std::string& line : findings) std::printf("%s: %s\n", name, line.c_str());
  const std::string counts = "(" + std::to_string(image.types.size()) + " data types, " +
                             std::to_string(image.sections.size()) + " sections)";
  if (findings.empty()) {
    std::printf("%s: sound %s\n", name, counts.c_str());
    return kExitOk;
  }
  if (pending && findings.size() == journal_findings) {
    std::printf("%s: the last committed state is sound %s\n", name, counts.c_str());
  }
  return kExitFindings;
}

}  // namespace rbtool
