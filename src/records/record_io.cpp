// Record read and write: data type -> catalogue entry, record number (and
// sub-index) -> slot through the index and iterator vectors, slot -> block
// of the type's area and the record's place in it, block -> cache.
#include "records/record_io.h"
#include "frame/checks.h"
#include "recbase.h"

#include <algorithm>
#include <cstring>

#include "file/lookup.h"
#include "file/stream.h"
#include "records/cache.h"
#include "records/growth.h"
#include "records/index_vectors.h"

namespace rb {

namespace {

// Where a record lies: the cached unit (a block, or a placed record on its
// own) and the record's position inside it.
struct Place {
  std::int32_t offset;
  std::int32_t length;
  std::int32_t pos;
  std::int64_t block;
};

// Block arithmetic for slot s: block s / lBlockRecs at lOffsetData +
// block * nBlockSize, the record (s mod lBlockRecs) * nDataSize into it.
// Returns 0, -51 when no record fits a block, -12 beyond 2^31 - 1.
std::int32_t block_place(const DataCtrl& dc, std::int64_t slot, Place& out) {
  // lBlockRecs comes from the file: a block must hold every record it counts.
  if (dc.nDataSize < 1 || dc.nBlockSize < dc.nDataSize ||
      dc.lBlockRecs != dc.nBlockSize / dc.nDataSize) {
    return DB_ERR_BAD_DESCRIPTION;
  }
  const std::int64_t block = slot / dc.lBlockRecs;
  const std::int64_t offset = dc.lOffsetData + block * dc.nBlockSize;
  if (slot < 0 || !range_fits(offset, dc.nBlockSize)) return DB_ERR_SEEK;
  out = Place{static_cast<std::int32_t>(offset), dc.nBlockSize,
              static_cast<std::int32_t>(slot % dc.lBlockRecs) * dc.nDataSize, block};
  return 0;
}

// A vector of a data type, with its entries and descriptor.
struct Vector {
  IndexCtrl* ctrl = nullptr;
  IndexVector* vec = nullptr;
  explicit operator bool() const { return ctrl != nullptr && vec != nullptr; }
  std::int32_t length() const { return std::min(ctrl->lIndexLen, vec->capacity); }
  // Entry rec, -1 for a record number beyond the vector.
  std::int32_t at(std::int32_t rec) const {
    return rec >= 0 && rec < length() ? vec->entries[rec] : -1;
  }
  std::int32_t& operator[](std::int32_t rec) const { return vec->entries[rec]; }
};

Vector vector_of(FileCtrl& f, std::int32_t v) {
  return Vector{index_ctrl(f, v), index_vector(f, v)};
}

bool has(std::int32_t flags, std::int32_t bit) { return (flags & bit) != 0; }

// Makes entry rec of vector v exist (-60 when it cannot grow).
std::int32_t reach(std::int32_t file_no, FileCtrl& f, std::int32_t v, std::int32_t rec) {
  const Vector vec = vector_of(f, v);
  if (rec < vec.length()) return 0;
  // Logged as dbExpandIndex from here on (also the -60 below), as when
  // this step called the exported function.
  enter("dbExpandIndex", file_no);
  if (expand_index(f, v, rec) < 0) return report(DB_ERR_VECTOR_GROWTH);
  return vector_of(f, v).length() > rec ? 0 : report(DB_ERR_VECTOR_GROWTH);
}

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, INT32_MAX));
}

// What a write changed before its record reached the cache; undone when
// the write fails, so that no slot or place is ever handed out twice.
struct Undo {
  Vector index;
  Vector iterator;
  std::int32_t rec;
  std::int32_t index_entry;
  std::int32_t iterator_entry;
  std::int32_t max_recs;
  std::int32_t placed_end;

  std::int32_t restore(FileCtrl& f, std::int32_t code) const {
    if (index) {
      index[rec] = index_entry;
      index.ctrl->lMaxRecs = max_recs;
    }
    if (iterator) iterator[rec] = iterator_entry;
    f.lPlacedEnd = placed_end;
    return code;
  }
};

}  // namespace

std::int32_t write_record(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                          std::int32_t sub, const void* data, Growth growth) {
  DataCtrl* dc = data_ctrl(f, k);
  if (dc == nullptr || rec < 0 || data == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (!f.writable) return report(DB_ERR_WRITE_LOCKED);
  const std::int32_t flags = dc->nFlags;
  const bool indexed = has(flags, kTypeIndex);
  const bool iterated = has(flags, kTypeIterator);
  const bool placed = has(flags, kTypePlaced);
  const bool input_open = f.def.nDataCtrlOpen != -1;
  // Placed records and runs are found through the index only.
  if ((placed || iterated) && !indexed) return report(DB_ERR_BAD_DESCRIPTION);

  if (indexed) {
    if (!vector_of(f, dc->nIndexNo)) return report(DB_ERR_BAD_DESCRIPTION);
    if (sub < 0) return report(DB_ERR_BAD_ARGUMENT);  // would bypass the index
    if (sub > 0 && !iterated) sub = 0;
    if (const std::int32_t r = reach(file_no, f, dc->nIndexNo, rec); r < 0) return r;
  }
  if (iterated) {
    if (!vector_of(f, dc->nIteratorNo)) return report(DB_ERR_BAD_DESCRIPTION);
    if (const std::int32_t r = reach(file_no, f, dc->nIteratorNo, rec); r < 0) return r;
  }
  const Vector index = indexed ? vector_of(f, dc->nIndexNo) : Vector{};
  const Vector iterator = iterated ? vector_of(f, dc->nIteratorNo) : Vector{};
  const Undo undo{index,
                  iterator,
                  rec,
                  index ? index[rec] : -1,
                  iterator ? iterator[rec] : -1,
                  index ? index.ctrl->lMaxRecs : 0,
                  f.lPlacedEnd};

  std::int64_t n = dc->lFileRecs;
  std::int64_t s = rec;
  Place place{};
  if (placed) {
    if (index[rec] == -1) {
      // A place of its own behind everything: the data areas, the end of
      // the file and every place handed out before.
      const std::int64_t at = std::max({static_cast<std::int64_t>(f.def.lFileLen), data_area_end(f),
                                        static_cast<std::int64_t>(f.lPlacedEnd)});
      if (!range_fits(at, dc->nDataSize)) return report(DB_ERR_SEEK);
      index[rec] = static_cast<std::int32_t>(at);
      f.lPlacedEnd = static_cast<std::int32_t>(at + dc->nDataSize);
      n += 1;
    }
    place = Place{index[rec], dc->nDataSize, 0, 0};
  } else {
    if (indexed && sub == 0) {
      if (index[rec] == -1) {
        if (n >= INT32_MAX) return report(DB_ERR_SEEK);
        index[rec] = static_cast<std::int32_t>(n);
        n += 1;
      }
      s = index[rec];
      index.ctrl->lMaxRecs = std::max(index.ctrl->lMaxRecs, saturate(s + 1));
      if (iterated && iterator[rec] <= 1) iterator[rec] = 1;
    } else if (iterated && sub > 0) {
      // A run is started with sub-index 0; a later sub-index extends it.
      if (index[rec] == -1) return report(DB_ERR_BAD_ARGUMENT);
      iterator[rec] = std::max(iterator[rec], saturate(static_cast<std::int64_t>(sub) + 1));
      s = static_cast<std::int64_t>(index[rec]) + sub;
      n = std::max(n, s + 1);
    } else {
      n = std::max(n, s + 1);
    }
    if (const std::int32_t r = block_place(*dc, s, place); r != 0) {
      return undo.restore(f, report(r));
    }
    if (place.block + 1 > dc->lMaxBlockRecs) {
      // A type whose records are filled during its data input grows with
      // them; outside the input an iterator type keeps its area.
      const bool filling = growth == Growth::unless_input_open && input_open;
      if (iterated && !filling) return undo.restore(f, report(DB_ERR_ITERATOR_AREA));
      if (const std::int32_t r = grow_area(file_no, f, k, place.block + 1); r < 0) {
        return undo.restore(f, r);
      }
      // The count only rises: during a data input it may already exceed
      // the grown area (an iterator run counts its sub-index twice), and
      // the area that closes the input is sized from it.
      dc = data_ctrl(f, k);
      dc->lMaxFileRecs = std::max(dc->lMaxFileRecs, saturate((place.block + 1) * dc->lBlockRecs));
    }
  }

  unsigned char* buffer =
      cash_block(file_no, f, place.offset, place.length, CashUse::write, nullptr);
  if (buffer == nullptr) return undo.restore(f, report(DB_ERR_NO_CASHBUFFER));
  RB_CHECK(place.pos >= 0 && place.pos + dc->nDataSize <= place.length);
  std::memcpy(buffer + place.pos, data, static_cast<std::size_t>(dc->nDataSize));

  dc->lFileRecs = saturate(n);
  if (input_open) {
    std::int64_t needed = s + 1;
    if (iterated) needed = s + sub + 1;
    if (placed) needed = growth == Growth::always ? static_cast<std::int64_t>(sub) + 1 : 0;
    dc->lMaxFileRecs = std::max(dc->lMaxFileRecs, saturate(needed));
  }
  const std::int64_t used = iterated ? static_cast<std::int64_t>(rec) + sub + 1 : rec + 1LL;
  dc->lMaxIndex = std::max(dc->lMaxIndex, saturate(used));
  return 0;
}

std::int32_t read_record(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                         std::int32_t sub, void* data) {
  const DataCtrl* dc = data_ctrl(f, k);
  if (dc == nullptr || rec < 0 || data == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const bool indexed = has(dc->nFlags, kTypeIndex);
  const Vector index = vector_of(f, dc->nIndexNo);
  if (indexed && !index) return report(DB_ERR_BAD_DESCRIPTION);
  if (has(dc->nFlags, kTypePlaced | kTypeIterator) && !indexed)
    return report(DB_ERR_BAD_DESCRIPTION);

  Place place{};
  if (has(dc->nFlags, kTypePlaced)) {
    const std::int32_t at = index.at(rec);
    if (at == -1) return report(DB_ERR_INDEX_UNDEFINED);
    if (!range_fits(at, dc->nDataSize)) return report(DB_ERR_NOT_FOUND);
    place = Place{at, dc->nDataSize, 0, 0};
  } else {
    const std::int32_t base = indexed ? index.at(rec) : rec;
    if (indexed && base == -1) return report(DB_ERR_INDEX_UNDEFINED);
    if (index && (base < 0 || base >= index.ctrl->lMaxRecs)) return report(DB_ERR_BAD_ARGUMENT);
    const std::int64_t s = static_cast<std::int64_t>(base) + sub;
    if (s < 0) return report(DB_ERR_BAD_ARGUMENT);
    if (const std::int32_t r = block_place(*dc, s, place); r != 0) return report(r);
    // A slot beyond the area would read another type's records.
    if (place.block >= dc->lMaxBlockRecs) return report(DB_ERR_NOT_FOUND);
  }
  const unsigned char* buffer =
      cash_block(file_no, f, place.offset, place.length, CashUse::read, nullptr);
  if (buffer == nullptr) return report(DB_ERR_NO_CASHBUFFER);
  RB_CHECK(place.pos >= 0 && place.pos + dc->nDataSize <= place.length);
  std::memcpy(data, buffer + place.pos, static_cast<std::size_t>(dc->nDataSize));
  return 0;
}

namespace {

// The catalogue entry of a data type argument: a number through the
// IndDataTypes vector, a negative value v naming entry -1 - v directly.
std::int32_t resolve_type(FileCtrl& f, std::int32_t type, std::int32_t& k) {
  if (type >= 0) {
    if (type >= f.def.nIndDataTypesX || type >= f.nIndDataTypesCap) return DB_ERR_BAD_ARGUMENT;
    k = f.pIndDataTypes[type];
    return data_ctrl(f, k) == nullptr ? -50 : 0;
  }
  k = -1 - type;
  return data_ctrl(f, k) == nullptr ? -90 : 0;
}

}  // namespace

std::int32_t read_typed(std::int32_t file_no, FileCtrl& f, std::int32_t type, std::int32_t rec,
                        std::int32_t sub, void* data) {
  if (rec < 0 || data == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  std::int32_t k = -1;
  if (const std::int32_t r = resolve_type(f, type, k); r != 0) return report(r);
  return read_record(file_no, f, k, rec, sub, data);
}

std::int32_t write_typed(std::int32_t file_no, FileCtrl& f, std::int32_t type, std::int32_t rec,
                         std::int32_t sub, const void* data) {
  if (rec < 0 || data == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  std::int32_t k = -1;
  if (const std::int32_t r = resolve_type(f, type, k); r != 0) return report(r);
  return write_record(file_no, f, k, rec, sub, data, Growth::always);
}

namespace {

// The bare form for key records: entry and slot given directly.
std::int32_t key_place(FileCtrl& f, std::int32_t k, std::int32_t rec, Place& place,
                       const DataCtrl*& dc) {
  dc = data_ctrl(f, k);
  if (dc == nullptr || rec < 0) return DB_ERR_BAD_ARGUMENT;
  if (const std::int32_t r = block_place(*dc, rec, place); r != 0) return r;
  return place.block < dc->lMaxBlockRecs ? 0 : DB_ERR_NOT_FOUND;
}

}  // namespace

std::int32_t read_key(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                      void* data) {
  if (data == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  Place place{};
  const DataCtrl* dc = nullptr;
  if (const std::int32_t r = key_place(f, k, rec, place, dc); r != 0) return report(r);
  const unsigned char* buffer =
      cash_block(file_no, f, place.offset, place.length, CashUse::read, nullptr);
  if (buffer == nullptr) return report(DB_ERR_NO_CASHBUFFER);
  RB_CHECK(place.pos >= 0 && place.pos + dc->nDataSize <= place.length);
  std::memcpy(data, buffer + place.pos, static_cast<std::size_t>(dc->nDataSize));
  return 0;
}

std::int32_t write_key(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                       const void* data) {
  if (rec < 0 || data == nullptr || data_ctrl(f, k) == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (rec >= f.pDataCtrl[k].lFileRecs) return report(DB_ERR_KEY_BEYOND_END);
  if (!f.writable) return report(DB_ERR_WRITE_LOCKED);
  Place place{};
  const DataCtrl* dc = nullptr;
  if (const std::int32_t r = key_place(f, k, rec, place, dc); r != 0) return report(r);
  unsigned char* buffer =
      cash_block(file_no, f, place.offset, place.length, CashUse::write, nullptr);
  if (buffer == nullptr) return report(DB_ERR_NO_CASHBUFFER);
  RB_CHECK(place.pos >= 0 && place.pos + dc->nDataSize <= place.length);
  std::memcpy(buffer + place.pos, data, static_cast<std::size_t>(dc->nDataSize));
  return 0;
}

}  // namespace rb
