#include "findings.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "messages.h"
#include "options.h"
#include "regions.h"

namespace rbtool {

namespace {

struct RuleText {
  const char* rule;
  Stage stage;
  const char* explanation;
};

constexpr std::array kRules{
    RuleText{"header-short", Stage::kHeader,
             "the file is shorter than a header: it is no database file, or it was cut before "
             "its header was written"},
    RuleText{"format", Stage::kHeader,
             "the file does not start with the identifier TOVEK: it is no database file of this "
             "format"},
    RuleText{"never-closed", Stage::kHeader,
             "the IndDataTypes vector has no place in the file: the file was created or written "
             "and never closed"},
    RuleText{"record-size", Stage::kHeader,
             "a table record has a size this format does not know: the file comes from another "
             "version"},
    RuleText{"count-above-capacity", Stage::kHeader,
             "a count is negative or above the capacity of its table"},
    RuleText{"vector-count", Stage::kHeader,
             "the number of index vectors differs from the number of IndexCtrl records"},
    RuleText{"table-length", Stage::kHeader,
             "the stored length of a table is not its count times the record size, and the "
             "table area does not tell which of the two is right"},
    RuleText{"table-count", Stage::kHeader,
             "the count differs from the entries its table holds: the stored length of the "
             "table fits the table area, so the count is the damaged field"},
    RuleText{"file-length", Stage::kHeader,
             "the stored file length is below the 4096 bytes of the header block"},
    RuleText{"data-boundary", Stage::kHeader, "the end of the data area lies outside the file"},
    RuleText{"truncated", Stage::kHeader,
             "the file is shorter than its stored length: it was cut, and the tables behind the "
             "cut are lost"},
    RuleText{"open-handle", Stage::kHeader,
             "the header names an open data input or section that does not exist"},
    RuleText{"sections-unnamed", Stage::kHeader,
             "the file has sections but no IndSections vector that names them"},
    RuleText{"capacity-beyond-file", Stage::kTables,
             "a table's capacity asks for more memory than the whole file holds"},
    RuleText{"vector-beyond-file", Stage::kTables, "an index vector is longer than the whole file"},
    RuleText{"vector-beyond-2g", Stage::kTables, "an index vector would reach beyond 2 GiB"},
    RuleText{"vector-past-end", Stage::kTables,
             "a vector ends beyond the stored length of the file"},
    RuleText{"table-offset", Stage::kTables, "a table lies at a negative offset"},
    RuleText{"table-short", Stage::kTables, "a table ends beyond the end of the file"},
    RuleText{"table-place", Stage::kTables,
             "a table or vector lies outside the table area or overlaps the one before it"},
    RuleText{"type-sizes", Stage::kTables,
             "record size, block size, records per block and area length of the data type do "
             "not agree"},
    RuleText{"area-place", Stage::kTables,
             "the data area starts inside the header block or reaches beyond 2 GiB"},
    RuleText{"area-overlap", Stage::kTables,
             "the data area starts before the area in front of it ends: two data types share "
             "bytes"},
    RuleText{"records-past-area", Stage::kTables,
             "the data type counts more records than its area has slots"},
    RuleText{"records-past-data", Stage::kTables,
             "the records the data type counts end beyond the data area (placed records: beyond "
             "the file)"},
    RuleText{"vector-owner", Stage::kTables,
             "the vector named is of another kind or belongs to another entry"},
    RuleText{"section-index", Stage::kTables, "the data type names a section that does not exist"},
    RuleText{"key-depth", Stage::kTables, "the key depth of the section is not 1 to 4"},
    RuleText{"buckets", Stage::kTables,
             "the buckets of the section do not lie in the catalogue, or its mask selects buckets "
             "it lacks"},
    RuleText{"bucket-type", Stage::kTables,
             "a bucket of the section is no bucket of 60-byte key records whose count fits its "
             "area"},
    RuleText{"key-handle", Stage::kTables,
             "the first or last key of the section names a key record its bucket does not hold"},
    RuleText{"key-type", Stage::kTables,
             "the current key of the section names a data type beyond the catalogue"},
    RuleText{"type-number", Stage::kVectors,
             "the IndDataTypes entry names a catalogue entry that does not carry this data type "
             "number"},
    RuleText{"section-number", Stage::kVectors,
             "the IndSections entry names a section that does not carry this section number"},
    RuleText{"index-slot", Stage::kVectors,
             "an index entry names a slot beyond the records the data type counts (lFileRecs): "
             "the entry or the count is damaged"},
    RuleText{"placed-record", Stage::kVectors,
             "a placed record lies inside a data area or beyond the data area"},
};

const RuleText* rule_text(const std::string& rule) {
  for (const RuleText& r : kRules) {
    if (rule == r.rule) return &r;
  }
  return nullptr;
}

bool is_one_of(const char* field, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (std::strcmp(field, n) == 0) return true;
  }
  return false;
}

std::string subject_of(const rb::FileLayout& image, const rb::Finding& f) {
  const std::string rule = f.rule;
  const std::int32_t e = f.entry;
  if (e < 0) return "the header";
  if (rule == "type-number") return "data type number " + std::to_string(e);
  if (rule == "section-number") return "section number " + std::to_string(e);
  if (is_one_of(f.field, {"nDataTypeIndexNo", "nKeys", "nHashFstDataCtrlHandle", "nBuckets",
                          "lFstKeyHandle", "lLstKeyHandle", "nIndDataCtrl"})) {
    return "section #" + std::to_string(e);
  }
  if (is_one_of(f.field, {"lIndexLen", "lOffsetIndex"})) {
    return "index vector " + std::to_string(e);
  }
  if (static_cast<std::size_t>(e) < image.types.size()) {
    return type_subject(image, static_cast<std::size_t>(e));
  }
  return "entry " + std::to_string(e);
}

}  // namespace

std::string type_subject(const rb::FileLayout& image, std::size_t k) {
  return "data type #" + std::to_string(k) + " (" + type_name(image, k) + ")";
}

const char* stage_name(Stage stage) {
  switch (stage) {
    case Stage::kJournal:
      return "journal";
    case Stage::kHeader:
      return "header";
    case Stage::kTables:
      return "tables";
    case Stage::kVectors:
      return "vectors";
    case Stage::kAreas:
      return "areas";
    case Stage::kKeys:
      return "keys";
  }
  return "?";
}

Issue issue_of(const rb::FileLayout& image, const rb::Finding& f) {
  Issue issue;
  issue.rule = f.rule;
  issue.field = f.field;
  issue.subject = subject_of(image, f);
  issue.offset = f.offset;
  issue.seen = f.seen;
  issue.bound = f.bound;
  issue.code = f.code;
  if (const RuleText* text = rule_text(issue.rule)) {
    issue.stage = text->stage;
    issue.explanation = text->explanation;
  } else {
    issue.explanation = "the layout breaks a rule that dbOpen holds files to";
  }
  return issue;
}

std::vector<Group> group_issues(const std::vector<Issue>& issues) {
  std::vector<Group> groups;
  for (const Issue& issue : issues) {
    auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) {
      return g.first.rule == issue.rule && g.first.field == issue.field;
    });
    if (it == groups.end()) {
      groups.push_back({issue, 1, {issue.subject}, 0, -1});
      continue;
    }
    ++it->count;
    if (std::find(it->subjects.begin(), it->subjects.end(), issue.subject) != it->subjects.end()) {
      continue;
    }
    if (it->subjects.size() < 4) {
      it->subjects.push_back(issue.subject);
    } else if (it->subjects.back() != issue.subject) {
      ++it->more_subjects;
    }
  }
  std::stable_sort(groups.begin(), groups.end(),
                   [](const Group& a, const Group& b) { return a.first.stage < b.first.stage; });
  // A damaged header misleads everything read after it; a damaged table
  // entry what hangs on that entry.
  for (std::size_t root = 0; root < groups.size(); ++root) {
    const Stage s = groups[root].first.stage;
    // An open input or section named wrongly misleads no reading.
    if ((s != Stage::kHeader && s != Stage::kTables) || groups[root].first.rule == "open-handle") {
      continue;
    }
    for (std::size_t i = root + 1; i < groups.size(); ++i) {
      Group& g = groups[i];
      if (g.follows >= 0 || g.first.stage <= s) continue;
      const bool shared = std::find(g.subjects.begin(), g.subjects.end(),
                                    groups[root].first.subject) != g.subjects.end();
      if (s == Stage::kHeader || shared) g.follows = static_cast<int>(root);
    }
    break;
  }
  return groups;
}

std::string group_text(const Group& g, const std::vector<Group>& all) {
  const Issue& f = g.first;
  // The journal's findings are whole sentences of their own.
  if (f.stage == Stage::kJournal) return f.explanation;
  std::string text = f.rule + ": " + f.field + " of " + f.subject;
  if (f.offset >= 0) text += " at offset " + std::to_string(f.offset);
  if (f.has_values) {
    text += " is " + std::to_string(f.seen) + ", against " + std::to_string(f.bound);
  }
  text += ": " + f.explanation;
  if (g.count > 1) {
    text += "; " + with_commas(g.count - 1) + " more like it";
    // The subjects of the others, when they are not all the first one's.
    if (g.subjects.size() > 1 || g.more_subjects > 0) {
      text += " (";
      for (std::size_t i = 1; i < g.subjects.size(); ++i) {
        text += (i == 1 ? "" : ", ") + g.subjects[i];
      }
      if (g.more_subjects > 0) text += " and " + with_commas(g.more_subjects) + " more";
      text += ")";
    }
  }
  if (g.follows >= 0 && static_cast<std::size_t>(g.follows) < all.size()) {
    const Issue& cause = all[static_cast<std::size_t>(g.follows)].first;
    text += "; likely a consequence of " + cause.field + " of " + cause.subject + " above";
  }
  if (f.code != 0) {
    const bool open = std::strcmp(f.function, "dbOpen") == 0;
    text += open ? " (dbOpen refuses the file: " : " (";
    const std::string own = error_message(f.code) == error_message(1)
                                ? std::string()
                                : std::string(" ") + error_message(f.code);
    text += open ? std::to_string(f.code) + own : library_text(f.function, f.code);
    text += ")";
  }
  return text;
}

}  // namespace rbtool
