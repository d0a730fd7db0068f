// recbase check: verifies a database file without changing it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "deep.h"
#include "findings.h"
#include "journal_file.h"
#include "json.h"
#include "layout.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

struct Report {
  std::vector<Issue> issues;
  std::vector<std::string> notes;
  std::vector<std::string> checks;  // the checks that ran
  bool deep_ran = false;
  DeepStats deep;
};

Issue journal_issue(const std::string& text) {
  Issue i;
  i.rule = "journal";
  i.field = "journal";
  i.subject = "the file";
  i.has_values = false;
  i.stage = Stage::kJournal;
  i.explanation = text;
  return i;
}

// The journal beside the file: a finding when a rollback would change the
// file, a note when it restores nothing.
void check_journal(const JournalFile& j, const std::string& name, Report& report) {
  const std::string journal = journal_path(name);
  switch (j.state) {
    case JournalFile::State::none:
      break;
    case JournalFile::State::stale:
      report.notes.push_back(journal + " is stale (" + j.why_stale +
                             "): it restores nothing and is harmless; the next dbOpen removes it");
      break;
    case JournalFile::State::unreadable:
      report.issues.push_back(
          journal_issue(journal + " cannot be read: dbOpen refuses the file until it can (" +
                        library_text("dbOpen", DB_ERR_JOURNAL) + ")"));
      break;
    case JournalFile::State::pending: {
      const std::string saved = "committed length " + std::to_string(j.restored.length) +
                                " bytes, " + counted(j.pages, "saved page", "saved pages");
      if (j.writer_at_work) {
        report.issues.push_back(journal_issue(
            journal + " is in use: a writer holds the file and has changed it since its last " +
            "commit (" + saved + " so far); the checks below see the last committed state"));
      } else {
        report.issues.push_back(journal_issue(
            journal + " is pending: a writer was interrupted; the next dbOpen restores the last " +
            "committed state (" + saved + "); the checks below see that state"));
      }
      break;
    }
  }
}

// The deep checks on a file whose layout is sound; a note says why they
// did not run otherwise.
void run_deep(const std::string& path, const std::string& name, const JournalFile& journal,
              const rb::FileLayout& image, bool layout_sound, Report& report) {
  if (!layout_sound) {
    report.notes.push_back(
        "the deep checks did not run: the layout is damaged (dbOpen refuses "
        "the file), and they need a layout to go by");
    return;
  }
  if (journal.state == JournalFile::State::pending ||
      journal.state == JournalFile::State::unreadable) {
    report.notes.push_back(
        "the deep checks did not run: they open the file through the library, "
        "whose dbOpen would roll the journal back first");
    return;
  }
  check_areas(path, image, report.issues, report.deep);
  check_vectors(image, report.issues, report.deep);
  Workspace workspace;
  Library library;
  const std::int32_t file = workspace.ready() ? library.open(path, name) : -1;
  if (file < 0) {
    report.notes.push_back("the keys were not looked up: " +
                           library_failure("the library cannot open the file", "dbOpen", file));
    report.checks.insert(report.checks.end(), {"areas", "vectors", "counts"});
  } else {
    check_keys(image, file, report.issues, report.deep);
    report.checks.insert(report.checks.end(), {"areas", "vectors", "counts", "keys"});
  }
  report.deep_ran = true;
}

std::string report_text(const std::string& name, const Report& report,
                        const std::vector<Group>& groups, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < shown; ++i)
    text += name + ": " + group_text(groups[i], groups) + "\n";
  if (shown < groups.size()) {
    text +=
        name + ": " +
        counted(static_cast<std::int64_t>(groups.size() - shown), "more finding", "more findings") +
        " left out (" + with_commas(static_cast<std::int64_t>(report.issues.size())) +
        " in all; --max-findings 0 lists every one)\n";
  }
  for (const std::string& note : report.notes) text += name + ": note: " + note + "\n";
  if (report.deep_ran) {
    const DeepStats& d = report.deep;
    text += name + ": deep checks: " + counted(d.blocks, "block", "blocks") +
            " of the data areas read (" + counted(d.bytes, "byte", "bytes") + "), " +
            counted(d.entries, "index entry", "index entries") + " checked, " +
            counted(d.keys, "key", "keys") + " looked up\n";
  }
  return text;
}

std::string report_json(const std::string& name, const Report& report,
                        const std::vector<Group>& groups, std::size_t shown, bool sound) {
  Json j;
  j.begin_object().member("file", name).member("sound", sound).key("checks").begin_array();
  for (const std::string& c : report.checks) j.value(c);
  j.end_array().key("deep");
  if (report.deep_ran) {
    j.begin_object().member("blocks", report.deep.blocks).member("bytes", report.deep.bytes);
    j.member("entries", report.deep.entries).member("keys", report.deep.keys).end_object();
  } else {
    j.null();
  }
  j.key("findings").begin_array();
  for (std::size_t i = 0; i < shown; ++i) {
    const Group& g = groups[i];
    const Issue& f = g.first;
    j.begin_object().member("rule", f.rule).member("field", f.field);
    j.member("subject", f.subject).member("stage", stage_name(f.stage)).key("offset");
    f.offset >= 0 ? j.value(f.offset) : j.null();
    if (f.has_values) j.member("seen", f.seen).member("bound", f.bound);
    j.member("count", g.count).key("subjects").begin_array();
    for (const std::string& s : g.subjects) j.value(s);
    j.end_array().member("explanation", f.explanation).key("follows");
    g.follows >= 0 ? j.value(static_cast<std::int64_t>(g.follows)) : j.null();
    j.key("library");
    if (f.code != 0) {
      j.begin_object().member("function", f.function).member("code", f.code);
      j.member("message", error_message(f.code)).end_object();
    } else {
      j.null();
    }
    j.end_object();
  }
  j.end_array().member("left_out", groups.size() - shown);
  j.member("total", report.issues.size()).key("notes").begin_array();
  for (const std::string& note : report.notes) j.value(note);
  j.end_array().end_object();
  return j.text() + "\n";
}

}  // namespace

int run_check(const Args& args) {
  CommandLine line;
  const int parsed = parse_command_line(
      "check", args, {{"deep", 'd', false}, {"json", 'j', false}, {"max-findings", 'm', true}},
      {{"FILE"}, {}}, line);
  if (parsed != kGoOn) return parsed;
  std::int32_t max_findings = 20;
  if (!line.number("max-findings", 0, INT32_MAX, max_findings)) return kExitUsage;
  const std::string& name = line.operands[0];
  const std::string path = absolute_path(name);
  const JournalFile journal = read_journal(path);
  const bool pending = journal.state == JournalFile::State::pending;
  rb::FileLayout image;
  std::vector<rb::Finding> layout_findings;
  std::string error;
  if (!load_file(path, pending ? &journal.restored : nullptr, image, layout_findings, error)) {
    return fail(kExitUnreadable, name + ": " + error);
  }
  Report report;
  report.checks = {"journal", "header", "tables", "vectors"};
  check_journal(journal, name, report);
  const std::size_t journal_issues = report.issues.size();
  blame_cut_counts(image, layout_findings, report.issues);
  for (const rb::Finding& f : layout_findings) report.issues.push_back(issue_of(image, f));
  if (line.has("deep")) run_deep(path, name, journal, image, layout_findings.empty(), report);
  const std::vector<Group> groups = group_issues(report.issues);
  const std::size_t shown =
      max_findings == 0 ? groups.size() : std::min<std::size_t>(groups.size(), max_findings);
  const bool sound = report.issues.empty();
  std::string text;
  if (line.has("json")) {
    text = report_json(name, report, groups, shown, sound);
  } else {
    text = report_text(name, report, groups, shown);
    const std::string counts =
        "(" + counted(static_cast<std::int64_t>(image.types.size()), "data type", "data types") +
        ", " + counted(static_cast<std::int64_t>(image.sections.size()), "section", "sections") +
        ")";
    if (sound) {
      text += name + ": sound " + counts + "\n";
    } else if (pending && report.issues.size() == journal_issues) {
      text += name + ": the last committed state is sound " + counts + "\n";
    }
  }
  if (!print_text(text, error)) return fail(kExitUnreadable, error);
  return sound ? kExitOk : kExitFindings;
}

}  // namespace rbtool
