// recbase info: header, data types, sections and vectors of a file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "journal_file.h"
#include "json.h"
#include "layout.h"
#include "options.h"
#include "output.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

std::string time_text(std::int32_t stamp) {
  const std::time_t t = stamp;
  const char* text = std::ctime(&t);
  if (text == nullptr) return std::to_string(stamp);
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string mode_words(std::int32_t flags) {
  std::string words;
  if ((flags & rb::kModeWrite) != 0) words += " write";
  if ((flags & rb::kModeWriteLock) != 0) words += " lock";
  if ((flags & rb::kModeCreated) != 0) words += " created";
  return words.empty() ? " -" : words;
}

std::string format_id(const rb::FileDef& d) {
  char format[sizeof d.cFormat + 1] = {};
  std::memcpy(format, d.cFormat, sizeof d.cFormat);
  return format;
}

std::string str(std::int64_t n) { return std::to_string(n); }

std::string header_text(const rb::FileLayout& image, const std::string& name) {
  const rb::FileDef& d = image.def;
  std::string text;
  // The label in a column of 16 characters, then the value.
  const auto row = [&](const char* label, const std::string& value) {
    text += label;
    text.append(16 - std::strlen(label), ' ');
    text += value;
    text += '\n';
  };
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%08x", static_cast<unsigned>(d.nFlags));
  const std::string data = str(data_end(d));
  row("file", name);
  row("format", format_id(d));
  row("created", time_text(d.tCreate));
  row("updated", time_text(d.tUpdate));
  row("flags", std::string(flags) + " (" + (mode_words(d.nFlags).c_str() + 1) + ")");
  row("file length", str(d.lFileLen) + " (lFileLen), " + str(image.size) + " bytes on disk");
  row("data area", "4096.." + data);
  row("table area", data + ".." + str(d.lFileLen));
  row("data types", str(d.nDataTypes) + " (capacity " + str(d.nDataTypesX) + ")");
  row("index vectors", str(d.nIndexVectors) + " (capacity " + str(d.nIndexVectorsX) + ")");
  row("sections", str(d.nSections) + " (capacity " + str(d.nSectionsX) + ")");
  row("IndDataTypes", str(d.nIndDataTypes) + " entries at " + str(d.lOffsetIndDataTypes));
  row("IndSections", str(d.nIndSections) + " entries at " + str(d.lOffsetIndSections));
  row("tables", "IndexCtrl " + str(d.nLenIndexCtrl) + " bytes at " + str(d.lOffsetIndexCtrl) +
                    ", DataCtrl " + str(d.nLenDataCtrl) + " bytes at " + str(d.lOffsetDataCtrl) +
                    ", Section " + str(d.nLenSection) + " bytes at " + str(d.lOffsetSection));
  return text;
}

// A table of text cells, each column as wide as its widest cell.
class Table {
 public:
  struct Column {
    const char* title;
    bool left;  // left-aligned (names and words), else right-aligned
  };
  explicit Table(std::vector<Column> columns) : columns_(std::move(columns)) {}

  void row(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

  // The title on a line of its own after an empty line, the column titles
  // and the rows.
  std::string text(const char* title) const {
    std::vector<std::size_t> widths;
    for (const Column& c : columns_) widths.push_back(std::strlen(c.title));
    for (const auto& cells : rows_) {
      for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
        widths[i] = std::max(widths[i], cells[i].size());
      }
    }
    std::string out = "\n" + std::string(title) + "\n";
    std::vector<std::string> titles;
    for (const Column& c : columns_) titles.push_back(c.title);
    out += line(titles, widths);
    for (const auto& cells : rows_) out += line(cells, widths);
    return out;
  }

 private:
  std::string line(const std::vector<std::string>& cells,
                   const std::vector<std::size_t>& widths) const {
    std::string text;
    for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
      const std::string pad(widths[i] - cells[i].size(), ' ');
      text += "  ";
      text += columns_[i].left ? cells[i] + pad : pad + cells[i];
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + "\n";
  }

  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// The keys a section holds: the key records of its buckets.
std::int64_t section_keys(const rb::FileLayout& image, const rb::Section& section) {
  std::int64_t keys = 0;
  for (std::int32_t b = 0; section.nHashFstDataCtrlHandle >= 0 && b < section.nBuckets; ++b) {
    const std::int64_t d = std::int64_t{section.nHashFstDataCtrlHandle} + b;
    if (d >= std::int64_t(image.types.size())) break;
    keys += image.types[static_cast<std::size_t>(d)].lFileRecs;
  }
  return keys;
}

std::int32_t section_buckets(const rb::Section& section) {
  return section.nHashFstDataCtrlHandle >= 0 ? section.nBuckets : 0;
}

std::string types_text(const rb::FileLayout& image) {
  Table table({{"#", false},
               {"number", true},
               {"flags", true},
               {"size", false},
               {"block", false},
               {"records", false},
               {"offset", false},
               {"length", false}});
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    table.row({str(static_cast<std::int64_t>(k)), type_name(image, k), flag_words(dc.nFlags),
               str(dc.nDataSize), str(dc.nBlockSize), str(dc.lFileRecs), str(dc.lOffsetData),
               str(dc.lLenData)});
  }
  return table.text("data types");
}

std::string sections_text(const rb::FileLayout& image) {
  Table table({{"index", false},
               {"number", false},
               {"keys", false},
               {"buckets", false},
               {"key count", false}});
  for (std::size_t s = 0; s < image.sections.size(); ++s) {
    const rb::Section& section = image.sections[s];
    table.row({str(static_cast<std::int64_t>(s)), str(section.nSectionType), str(section.nKeys),
               str(section_buckets(section)), str(section_keys(image, section))});
  }
  return table.text("sections");
}

std::string vectors_text(const rb::FileLayout& image) {
  Table table(
      {{"no", false}, {"kind", true}, {"owner", false}, {"length", false}, {"offset", false}});
  for (std::size_t v = 0; v < image.index_ctrls.size(); ++v) {
    const rb::IndexCtrl& c = image.index_ctrls[v];
    table.row({str(static_cast<std::int64_t>(v)), vector_kind(c.nIndexType), str(c.nOwnerNo),
               str(c.lIndexLen), str(c.lOffsetIndex)});
  }
  return table.text("index vectors");
}

std::vector<const char*> mode_list(std::int32_t flags) {
  std::vector<const char*> words;
  if ((flags & rb::kModeWrite) != 0) words.push_back("write");
  if ((flags & rb::kModeWriteLock) != 0) words.push_back("lock");
  if ((flags & rb::kModeCreated) != 0) words.push_back("created");
  return words;
}

void json_header(Json& j, const rb::FileDef& d) {
  j.key("header").begin_object();
  j.member("cFormat", format_id(d)).member("tCreate", d.tCreate).member("tUpdate", d.tUpdate);
  j.member("nFlags", d.nFlags).key("mode").begin_array();
  for (const char* w : mode_list(d.nFlags)) j.value(w);
  j.end_array();
  const std::pair<const char*, std::int32_t> fields[] = {
      {"nDataCtrlOpen", d.nDataCtrlOpen},
      {"nDataTypeCursor", d.nDataTypeCursor},
      {"lFileLen", d.lFileLen},
      {"nIndexVectors", d.nIndexVectors},
      {"nIndexVectorsX", d.nIndexVectorsX},
      {"nIndexCtrls", d.nIndexCtrls},
      {"nIndexCtrlsX", d.nIndexCtrlsX},
      {"nIndexCtrlSize", d.nIndexCtrlSize},
      {"nLenIndexCtrl", d.nLenIndexCtrl},
      {"lOffsetIndexCtrl", d.lOffsetIndexCtrl},
      {"nDataTypes", d.nDataTypes},
      {"nDataTypesX", d.nDataTypesX},
      {"nDataCtrlSize", d.nDataCtrlSize},
      {"nLenDataCtrl", d.nLenDataCtrl},
      {"lOffsetDataCtrl", d.lOffsetDataCtrl},
      {"nSections", d.nSections},
      {"nSectionsX", d.nSectionsX},
      {"nSectionSize", d.nSectionSize},
      {"nLenSection", d.nLenSection},
      {"lOffsetSection", d.lOffsetSection},
      {"nIndDataTypes", d.nIndDataTypes},
      {"nIndDataTypesX", d.nIndDataTypesX},
      {"lOffsetIndDataTypes", d.lOffsetIndDataTypes},
      {"nIndSections", d.nIndSections},
      {"nIndSectionsX", d.nIndSectionsX},
      {"lOffsetIndSections", d.lOffsetIndSections},
      {"nOpenSectionHandle", d.nOpenSectionHandle},
      {"nActiveSectionHandle", d.nActiveSectionHandle},
      {"lOffsetVectors", d.lOffsetVectors}};
  for (const auto& [name, value] : fields) j.member(name, value);
  j.end_object();
}

void json_types(Json& j, const rb::FileLayout& image) {
  j.key("data_types").begin_array();
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    j.begin_object().member("index", k).member("name", type_name(image, k));
    j.member("kind", kind_name(data_kind(dc))).member("flags", flag_words(dc.nFlags));
    j.member("nType", dc.nType).member("nFlags", dc.nFlags).member("nDataSize", dc.nDataSize);
    j.member("nBlockSize", dc.nBlockSize).member("lFileRecs", dc.lFileRecs);
    j.member("lMaxFileRecs", dc.lMaxFileRecs).member("lBlockRecs", dc.lBlockRecs);
    j.member("lMaxBlockRecs", dc.lMaxBlockRecs).member("lOffsetData", dc.lOffsetData);
    j.member("lLenData", dc.lLenData).member("lMaxIndex", dc.lMaxIndex);
    j.member("nIndexNo", dc.nIndexNo).member("nIteratorNo", dc.nIteratorNo);
    j.member("nSectionIndexNo", dc.nSectionIndexNo).end_object();
  }
  j.end_array();
}

void json_sections(Json& j, const rb::FileLayout& image) {
  j.key("sections").begin_array();
  for (std::size_t i = 0; i < image.sections.size(); ++i) {
    const rb::Section& s = image.sections[i];
    j.begin_object().member("index", i).member("nSectionType", s.nSectionType);
    j.member("nKeys", s.nKeys).member("buckets", section_buckets(s));
    j.member("keys", section_keys(image, s))
        .member("nHashFstDataCtrlHandle", s.nHashFstDataCtrlHandle);
    j.member("nBucketMsk", s.nBucketMsk).key("nMaxKeys").begin_array();
    for (std::int32_t v : s.nMaxKeys) j.value(v);
    j.end_array().end_object();
  }
  j.end_array();
}

void json_vectors(Json& j, const rb::FileLayout& image) {
  j.key("index_vectors").begin_array();
  for (std::size_t v = 0; v < image.index_ctrls.size(); ++v) {
    const rb::IndexCtrl& c = image.index_ctrls[v];
    j.begin_object().member("index", v).member("kind", vector_kind(c.nIndexType));
    j.member("nIndexType", c.nIndexType).member("nOwnerNo", c.nOwnerNo);
    j.member("lMaxRecs", c.lMaxRecs).member("lIndexLen", c.lIndexLen);
    j.member("lOffsetIndex", c.lOffsetIndex).end_object();
  }
  j.end_array();
}

std::string json_text(const rb::FileLayout& image, const std::string& name, std::size_t faults) {
  Json j;
  j.begin_object().member("file", name).member("size", image.size);
  json_header(j, image.def);
  json_types(j, image);
  json_sections(j, image);
  json_vectors(j, image);
  j.member("faults", faults).end_object();
  return j.text() + "\n";
}

}  // namespace

int run_info(const Args& args) {
  CommandLine line;
  const int parsed = parse_command_line("info", args, {{"json", 'j', false}}, {{"FILE"}, {}}, line);
  if (parsed != kGoOn) return parsed;
  const std::string& name = line.operands[0];
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(name, nullptr, image, findings, error)) {
    return fail(kExitUnreadable, name + ": " + error);
  }
  const std::string note = journal_note(read_journal(name, false), name, false);
  if (!note.empty()) fail(kExitOk, note);
  if (!image.has_header) {
    return fail(kExitUnreadable, name + ": not a database file (no TOVEK header)");
  }
  const std::string text = line.has("json") ? json_text(image, name, findings.size())
                                            : header_text(image, name) + types_text(image) +
                                                  sections_text(image) + vectors_text(image);
  if (!print_text(text, error)) return fail(kExitUnreadable, error);
  if (!findings.empty()) {
    return fail(kExitUnreadable,
                name + ": the layout is damaged (" +
                    counted(static_cast<std::int64_t>(findings.size()), "fault", "faults") +
                    "); recbase check " + name + " says what is wrong");
  }
  return kExitOk;
}

}  // namespace rbtool
