// The judge of a database file's layout: the header, the tables and the
// vectors, as read from disk. A file is trusted only as far as these rules
// go: no count, length or offset read from it is used to allocate or index
// memory before the rule that bounds it has passed.
//
// dbOpen judges each stage as it reads the file and refuses the file at the
// first finding, with the code of its rule; `recbase check` loads the whole
// layout (load_layout) and lists every finding. The code here depends on
// nothing but the record layouts, so that the tool can link it alone.
#pragma once

#include <cstdint>
#include <vector>

#include "file/format.h"
#include "recbase.h"

namespace rb {

// One index vector in memory: its entries and the number allocated.
struct IndexVector {
  std::int32_t* entries;
  std::int32_t capacity;
};

// A rule the file breaks.
struct Finding {
  const char* rule;     // short stable identifier, e.g. "records-past-area"
  const char* field;    // the field judged, by its name in the file format
  std::int32_t entry;   // the table entry it belongs to, -1 for the header
  std::int64_t offset;  // file offset of the field, -1 when it has none
  std::int64_t seen;    // the value found there
  std::int64_t bound;   // the value it was held against
  std::int32_t code;    // what dbOpen answers for it
};

// Collects the findings of a judgment. The default stops at the first
// finding and keeps its code only; with a sink every finding is handed on
// and judging goes on.
class Verdict {
 public:
  using Sink = void (*)(void* context, const Finding& finding);
  Verdict() = default;
  Verdict(Sink sink, void* context) : sink_(sink), context_(context) {}

  // Records a finding; false when judging stops here.
  bool add(const Finding& finding);
  // Code of the first finding, 0 while there is none.
  std::int32_t code() const { return code_; }
  bool stopped() const { return sink_ == nullptr && code_ != 0; }

 private:
  Sink sink_ = nullptr;
  void* context_ = nullptr;
  std::int32_t code_ = 0;
};

// Codes of the rules that are not -100.
inline constexpr std::int32_t kForeignFormat = DB_ERR_UNKNOWN_FORMAT;
inline constexpr std::int32_t kNeverClosed = DB_ERR_NO_INDDATATYPES_PLACE;

// Each judge returns false when the verdict has stopped.

// The format identifier "TOVEK" (-101).
bool judge_identity(const FileDef& def, Verdict& v);

// The header against itself and the file's size on the device: a place of
// the IndDataTypes vector (-55, a file never closed after writing), record
// sizes (-101), counts against capacities, table lengths, the boundary of
// the data area, the stored length against the device.
bool judge_header(const FileDef& def, std::int64_t file_size, Verdict& v);

// A table or vector of count entries of entry_size bytes that memory is to
// hold for a file of file_size bytes: nothing larger than the file.
bool judge_capacity(const char* field, std::int32_t count, std::int64_t entry_size,
                    std::int64_t file_size, Verdict& v);

// The IndexCtrl records, before their vectors are allocated.
bool judge_index_ctrls(const FileDef& def, const IndexCtrl* ctrls, std::int64_t file_size,
                       Verdict& v);

// Sections need the IndSections vector and the Section table to be read.
bool judge_sections_named(const FileDef& def, Verdict& v);

// Everything read, in memory; each count is the number of entries there.
struct LayoutView {
  const FileDef* def;
  const DataCtrl* types;
  std::int32_t n_types;
  const IndexCtrl* index_ctrls;
  const IndexVector* vectors;
  std::int32_t n_vectors;
  const Section* sections;
  std::int32_t n_sections;
  const std::int32_t* ind_types;
  std::int32_t n_ind_types;
  const std::int32_t* ind_sections;
  std::int32_t n_ind_sections;
};

// The tables against each other and the file: every number that one holds
// into another names an entry of the right kind, areas follow each other,
// records lie in their areas and in the data area, tables and vectors lie
// end to end in the table area.
bool judge_tables(const LayoutView& layout, Verdict& v);

// The entries of a table stored at offset in length bytes whose header
// count is count: count when the length matches it; when not, the entries
// of the stored length if that fills the room up to the next table (so the
// count is the damaged field); -1 when the layout does not tell.
std::int32_t table_entries(const FileDef& def, std::int64_t offset, std::int32_t count,
                           std::int32_t length, std::int64_t size);

// A key layout of buckets buckets, a mask and blocks of block bytes that
// every key can be stored in: the mask selects existing buckets only, a
// block holds a key record, and every bucket gets a block of the file.
bool bucket_layout_fits(std::int32_t buckets, std::int32_t mask, std::int32_t block);

// End of the block that holds the last record a data type counts (the
// start of its area when it counts none or places its records singly).
std::int64_t records_end(const DataCtrl& dc);

// ---- the whole file, for a listing --------------------------------------

// Reads length bytes at offset; false when they are not all there.
using ReadAt = bool (*)(void* context, std::int64_t offset, void* data, std::int64_t length);

// The layout of a file as the validator read it: what could be read, each
// table in full or empty.
struct FileLayout {
  std::int64_t size = 0;
  bool has_header = false;  // a FileDef with the format identifier
  FileDef def{};
  std::vector<DataCtrl> types;
  std::vector<IndexCtrl> index_ctrls;
  std::vector<std::vector<std::int32_t>> vectors;  // one per IndexCtrl
  std::vector<Section> sections;
  std::vector<std::int32_t> ind_types;
  std::vector<std::int32_t> ind_sections;
};

// Reads a file of size bytes through read as dbOpen would and judges every
// stage; the findings go to v.
FileLayout load_layout(ReadAt read, void* context, std::int64_t size, Verdict& v);

}  // namespace rb
