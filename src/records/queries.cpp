// Read-only questions about the data type catalogue of an open file: which
// numbers are declared, record sizes and counts, and the slot a record
// number maps to. Only the enumeration cursor ever changes.
#include "records/queries.h"
#include "recbase.h"

#include <algorithm>
#include <cstdint>

#include "file/lookup.h"

namespace rb {
namespace {

// The DataCtrl index of a declared data type number, -1 for a number that
// lies outside 0 .. nIndDataTypes - 1, is not declared, or names an entry
// that is not in the catalogue.
std::int32_t declared_ctrl(FileCtrl& f, std::int32_t type) {
  if (type < 0 || type >= f.def.nIndDataTypes) return -1;
  const std::int32_t k = type_to_ctrl(f, type);
  return data_ctrl(f, k) != nullptr ? k : -1;
}

// Lowest number from `from` up whose IndDataTypes entry names a data type,
// -1 when there is none.
std::int32_t next_declared(const FileCtrl& f, std::int32_t from) {
  const std::int32_t end = std::min(f.def.nIndDataTypesX, f.nIndDataTypesCap);
  for (std::int32_t t = std::max(from, 0); t < end; ++t) {
    if (type_to_ctrl(f, t) >= 0) return t;
  }
  return -1;
}

// Entry rec of vector v, when v exists and rec lies inside it.
bool vector_entry(FileCtrl& f, std::int32_t v, std::int32_t rec, std::int32_t& value) {
  const IndexCtrl* ctrl = index_ctrl(f, v);
  const IndexVector* vec = index_vector(f, v);
  if (ctrl == nullptr || vec == nullptr) return false;
  if (rec < 0 || rec >= ctrl->lIndexLen || rec >= vec->capacity) return false;
  value = vec->entries[rec];
  return true;
}

// Length of vector v as its IndexCtrl tells it; -1 when v names no vector.
std::int32_t vector_length(FileCtrl& f, std::int32_t v) {
  const IndexCtrl* ctrl = index_ctrl(f, v);
  if (ctrl == nullptr || index_vector(f, v) == nullptr) return -1;
  return ctrl->lIndexLen;
}

// A section data type named by section number and place.
struct SectionType {
  std::int32_t code;  // reported failure, 0 when the section was found
  std::int32_t ctrl;  // DataCtrl index at the place, -1 when none
};

SectionType section_type(FileCtrl& f, std::int32_t section_no, std::int32_t place) {
  if (section_no < 0 || section_no >= f.def.nSections) return {report(DB_ERR_MAXCOUNT_SECTION), -1};
  if (place < 0 || place >= kSectionPlaces) return {report(DB_ERR_BAD_ARGUMENT), -1};
  if (section_no >= ind_sections_len(f)) return {report(DB_ERR_BAD_ARGUMENT), -1};
  const Section* s = section_at(f, f.pIndSections[section_no]);
  if (s == nullptr) return {report(DB_ERR_BAD_ARGUMENT), -1};
  const std::int32_t k = s->nIndDataCtrl[place];
  return {0, data_ctrl(f, k) != nullptr ? k : -1};
}

// The cursor moved one number on. A cursor from a damaged header must
// neither overflow nor start a scan far below 0.
std::int32_t advanced(std::int32_t cursor) {
  if (cursor < 0) return 0;
  return cursor == INT32_MAX ? cursor : cursor + 1;
}

}  // namespace

std::int32_t get_first_data_type(FileCtrl& f) {
  const std::int32_t t = next_declared(f, 0);
  if (t >= 0) f.def.nDataTypeCursor = t;
  return t;
}

std::int32_t get_next_data_type(FileCtrl& f) {
  FileDef& d = f.def;
  d.nDataTypeCursor = advanced(d.nDataTypeCursor);
  if (d.nDataTypeCursor >= d.nIndDataTypesX) return -1;
  const std::int32_t t = next_declared(f, d.nDataTypeCursor);
  if (t >= 0) d.nDataTypeCursor = t;
  return t;
}

std::int32_t exist_data_type(FileCtrl& f, std::int32_t type) { return declared_ctrl(f, type); }

namespace {

// The DataCtrl of a data type number for the size and count queries:
// -90 for a number outside the vector, undeclared_code for one that names
// no data type.
const DataCtrl* typed_ctrl(FileCtrl& f, std::int32_t type, std::int32_t undeclared_code,
                           std::int32_t& code) {
  if (type < 0 || type >= f.def.nIndDataTypes) {
    code = report(DB_ERR_BAD_ARGUMENT);
    return nullptr;
  }
  const DataCtrl* dc = data_ctrl(f, declared_ctrl(f, type));
  if (dc == nullptr) code = report(undeclared_code);
  return dc;
}

}  // namespace

std::int32_t get_data_type_size(FileCtrl& f, std::int32_t type) {
  std::int32_t code = 0;
  const DataCtrl* dc = typed_ctrl(f, type, -50, code);
  return dc != nullptr ? dc->nDataSize : code;
}

std::int32_t get_data_type_max_count(FileCtrl& f, std::int32_t type) {
  std::int32_t code = 0;
  const DataCtrl* dc = typed_ctrl(f, type, -9002, code);
  return dc != nullptr ? dc->lMaxIndex : code;
}

std::int32_t get_data_type_max_count_s(FileCtrl& f, std::int32_t section_no, std::int32_t place) {
  const SectionType st = section_type(f, section_no, place);
  if (st.code != 0) return st.code;
  const DataCtrl* dc = data_ctrl(f, st.ctrl);
  return dc != nullptr ? dc->lMaxIndex : report(DB_ERR_TYPE_UNDECLARED);
}

std::int32_t get_data_type_recs(std::int32_t file_no, FileCtrl& f, std::int32_t type,
                                std::int32_t rec) {
  // Asked through dbExistDataType, whose name a later log record carries.
  enter("dbExistDataType", file_no);
  const DataCtrl* dc = data_ctrl(f, exist_data_type(f, type));
  if (dc == nullptr || rec < 0) return 0;
  const std::int32_t index_len = vector_length(f, dc->nIndexNo);
  if (index_len >= 0 && rec >= index_len) return 0;
  std::int32_t entry = -1;
  if ((dc->nFlags & kTypeIterator) != 0) {
    if (vector_length(f, dc->nIteratorNo) < 0) return report(DB_ERR_BAD_DESCRIPTION);
    if (!vector_entry(f, dc->nIteratorNo, rec, entry)) return 0;
    return entry == -1 ? 0 : entry;
  }
  if ((dc->nFlags & kTypeIndex) == 0) return rec < dc->lFileRecs ? 1 : 0;
  if (index_len < 0) return report(DB_ERR_BAD_DESCRIPTION);
  return vector_entry(f, dc->nIndexNo, rec, entry) && entry != -1 ? 1 : 0;
}

namespace {

// The slot of record rec of catalogue entry k, -1 when it maps to none.
std::int32_t slot_of(FileCtrl& f, std::int32_t k, std::int32_t rec) {
  const DataCtrl& dc = *data_ctrl(f, k);
  if (rec < 0) return report(DB_ERR_BAD_ARGUMENT);
  if ((dc.nFlags & kTypeIndex) == 0) return rec < dc.lFileRecs ? rec : -1;
  if (vector_length(f, dc.nIndexNo) < 0) return report(DB_ERR_BAD_DESCRIPTION);
  std::int32_t entry = -1;
  return vector_entry(f, dc.nIndexNo, rec, entry) ? entry : -1;
}

}  // namespace

std::int32_t get_index(std::int32_t file_no, FileCtrl& f, std::int32_t section_no,
                       std::int32_t type, std::int32_t rec) {
  std::int32_t k = -1;
  if (section_no == -1) {
    // Asked through dbExistDataType, whose name a later log record carries.
    enter("dbExistDataType", file_no);
    k = exist_data_type(f, type);
  } else {
    const SectionType st = section_type(f, section_no, type);
    if (st.code != 0) return st.code;
    k = st.ctrl;
  }
  return k < 0 ? -1 : slot_of(f, k, rec);
}

}  // namespace rb
