// The findings of recbase check: a rule the file breaks, in English, with
// the library's answer where one applies, grouped by cause and listed
// cause first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"

namespace rbtool {

// Where a finding lies; the order is the order of causes: a damaged header
// misleads the reading of the tables, a damaged table the judging of the
// vectors, and so on.
enum class Stage { kJournal, kHeader, kTables, kVectors, kAreas, kKeys };

const char* stage_name(Stage stage);

struct Issue {
  std::string rule;                 // short stable identifier, e.g. "index-slot"
  std::string field;                // the field judged, by its name in the file format
  std::string subject;              // what it belongs to: "header", "data type #3", ...
  std::int64_t offset = -1;         // file offset of the field, -1 when it has none
  std::int64_t seen = 0;            // the value found
  std::int64_t bound = 0;           // the value it was held against
  bool has_values = true;           // false: seen and bound say nothing (journal findings)
  std::int32_t code = 0;            // what the library answers for it, 0 for nothing
  const char* function = "dbOpen";  // the library function that answers code
  std::string explanation;          // what it means, in English
  Stage stage = Stage::kTables;
};

// Findings of one cause: the first in full, how many there are, and the
// subjects they concern.
struct Group {
  Issue first;
  std::int64_t count = 1;
  std::vector<std::string> subjects;  // distinct, in order, at most a few
  std::int64_t more_subjects = 0;     // subjects beyond those listed
  int follows = -1;                   // index of the group that likely causes it
};

// "data type #3 (type 4)": catalogue index and name of data type k.
std::string type_subject(const rb::FileLayout& image, std::size_t k);

// A finding of the layout validator in the tool's words.
Issue issue_of(const rb::FileLayout& image, const rb::Finding& finding);

// Groups issues with the same rule and field, orders the groups cause first
// (by stage, then as found) and marks those that likely follow from an
// earlier fault of the header or a table.
std::vector<Group> group_issues(const std::vector<Issue>& issues);

// One line: "rule: field of subject at offset O is S, against B: what it
// means; N more like it (...)  (dbOpen refuses the file: code message)".
std::string group_text(const Group& g, const std::vector<Group>& all);

}  // namespace rbtool
