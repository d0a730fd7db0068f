// Hash buckets and keys. A key goes into the bucket that the masked sum of
// its values selects and is appended behind that bucket's last key record;
// a lookup reads the bucket in record order and stops at the first equal
// key, so of two equal keys the one added first is found.
#include <algorithm>
#include <iterator>

#include "file/lookup.h"
#include "recbase.h"
#include "records/catalogue.h"
#include "records/record_io.h"
#include "sections/key_index.h"
#include "sections/sections.h"

namespace rb {

namespace {

bool in_range(std::int64_t value, std::int64_t low, std::int64_t end) {
  return value >= low && value < end;
}

// A key record that no key has filled yet: no data types, no values.
KeyRecord empty_key_record() {
  KeyRecord r{};
  std::fill(std::begin(r.nIndDataCtrl), std::end(r.nIndDataCtrl), -1);
  std::fill(std::begin(r.nKey), std::end(r.nKey), -1);
  r.nReserved = 0;
  return r;
}

bool same_key(const Section& s, const std::int32_t* a, const std::int32_t* b) {
  return std::equal(a, a + s.nKeys, b);
}

// Every data type a key record names is none (-1) or a catalogue entry. Key
// records come from the data area, which no open check reads: one that
// names anything else is damaged and never becomes the current key.
bool key_types_fit(const FileCtrl& f, const KeyRecord& r) {
  return std::all_of(std::begin(r.nIndDataCtrl), std::end(r.nIndDataCtrl),
                     [&f](std::int32_t k) { return in_range(k, -1, f.def.nDataTypes); });
}

}  // namespace

bool has_buckets(const FileCtrl& f, const Section& s) {
  return valid_key_depth(s.nKeys) && bucket_layout_fits(s.nBuckets, s.nBucketMsk, kKeyRecordSize) &&
         s.nHashFstDataCtrlHandle >= 0 &&
         static_cast<std::int64_t>(s.nHashFstDataCtrlHandle) + s.nBuckets <= f.def.nDataTypes;
}

DataCtrl* bucket_ctrl(FileCtrl& f, const Section& s, std::int32_t b) {
  if (!has_buckets(f, s) || !in_range(b, 0, s.nBuckets)) return nullptr;
  DataCtrl* dc = data_ctrl(f, s.nHashFstDataCtrlHandle + b);
  if (dc == nullptr || (dc->nFlags & kTypeBucket) == 0) return nullptr;
  if (dc->nDataSize != kKeyRecordSize || dc->nBlockSize < kKeyRecordSize) return nullptr;
  if (dc->lBlockRecs != dc->nBlockSize / kKeyRecordSize || dc->lFileRecs < 0) return nullptr;
  // Every key record lies in the bucket's area.
  if (dc->lFileRecs > static_cast<std::int64_t>(dc->lBlockRecs) * dc->lMaxBlockRecs) return nullptr;
  return dc;
}

bool has_current_key(FileCtrl& f, const Section& s) {
  const DataCtrl* dc = bucket_ctrl(f, s, s.nLstKeyBucket);
  return dc != nullptr && in_range(s.lLstKeyHandle, 0, dc->lFileRecs);
}

KeyRecord key_image(const Section& s) {
  KeyRecord r{};
  std::copy(std::begin(s.nIndDataCtrl), std::end(s.nIndDataCtrl), r.nIndDataCtrl);
  std::copy(std::begin(s.nKeysLst), std::end(s.nKeysLst), r.nKey);
  r.nReserved = s.nKeyReserved;
  return r;
}

void set_key_image(Section& s, const KeyRecord& r) {
  std::copy(std::begin(r.nIndDataCtrl), std::end(r.nIndDataCtrl), s.nIndDataCtrl);
  std::copy(std::begin(r.nKey), std::end(r.nKey), s.nKeysLst);
  s.nKeyReserved = r.nReserved;
}

std::int32_t find_key(std::int32_t file_no, FileCtrl& f, std::int32_t s, const std::int32_t* keys) {
  Section& sec = *section_at(f, s);
  // The current key is answered from its image, without reading.
  if (same_key(sec, keys, sec.nKeysLst)) return 1;
  const std::int32_t b = bucket_of(sec, keys);
  const std::int32_t d = sec.nHashFstDataCtrlHandle + b;
  std::int32_t first = -1;
  std::int32_t n = 0;
  if (key_index_find(file_no, f, s, b, keys, first, n)) {
    KeyRecord r{};
    if (first < 0) {
      // The scan reads the whole bucket and ends with its last record: a
      // record that cannot be read is the answer here too.
      if (n < 1) return 0;
      const std::int32_t rc = read_record(file_no, f, d, n - 1, 0, &r);
      return rc < 0 ? rc : 0;
    }
    // The first equal key record is read through the cache, as the scan
    // would read it.
    if (const std::int32_t rc = read_record(file_no, f, d, first, 0, &r); rc < 0) return rc;
    if (same_key(sec, keys, r.nKey)) {
      if (!key_types_fit(f, r)) return report(DB_ERR_INCOMPLETE_FILE);
      set_key_image(sec, r);
      sec.nLstKeyBucket = b;
      sec.lLstKeyHandle = first;
      f.def.nActiveSectionHandle = s;
      return 1;
    }
    // Another key with the same tag is answered by the scan; any other
    // record means the index is out of step and is dropped.
    if (!key_index_shared_tag(keys, r.nKey, sec.nKeys)) key_index_forget(f);
  }
  for (n = 0;; ++n) {
    const DataCtrl* dc = bucket_ctrl(f, sec, b);
    if (dc == nullptr) return report(kSectionMismatch);
    if (n >= dc->lFileRecs) return 0;
    KeyRecord r{};
    // A key record that cannot be read ends the lookup: it never counts
    // as equal, and the failure is the answer.
    if (const std::int32_t rc = read_record(file_no, f, d, n, 0, &r); rc < 0) return rc;
    if (!same_key(sec, keys, r.nKey)) continue;
    if (!key_types_fit(f, r)) return report(DB_ERR_INCOMPLETE_FILE);
    set_key_image(sec, r);
    sec.nLstKeyBucket = b;
    sec.lLstKeyHandle = n;
    f.def.nActiveSectionHandle = s;
    return 1;
  }
}

std::int32_t add_hash_bucket(std::int32_t file_no, FileCtrl& f, std::int32_t s) {
  if (s < 0) return report(DB_ERR_BUCKET_SECTION);
  if (section_at(f, s) == nullptr) return report(kBadSectionHandle);
  const std::int32_t block = g_lib.sys->nBucketBlock;
  if (block < kKeyRecordSize) return report(kSectionMismatch);
  if (f.def.nDataTypes >= f.def.nDataTypesX || f.def.nDataTypes >= f.nDataCtrlCap) {
    // Logged as dbExpandDataCtrl from here on, as when this step called
    // the exported function.
    enter("dbExpandDataCtrl", file_no);
    if (const std::int32_t r = expand_data_ctrl(f); r < 0) return r;
  }
  const std::int32_t k = f.def.nDataTypes;
  f.def.nDataTypes = k + 1;
  DataCtrl& dc = f.pDataCtrl[k];
  dc.nType = -1;
  dc.nFlags = kTypeBucket;
  dc.nDataSize = kKeyRecordSize;
  dc.nBlockSize = block;
  dc.lFileRecs = dc.lMaxFileRecs = dc.lMaxBlockRecs = dc.lLenData = dc.lMaxIndex = 0;
  dc.lBlockRecs = block / kKeyRecordSize;
  dc.lOffsetData = static_cast<std::int32_t>(next_area_start(f, k));
  dc.nIndexNo = dc.nIteratorNo = -1;
  dc.nSectionIndexNo = s;
  // The initial record gives the bucket its first block, so that the next
  // area begins behind it; the first key overwrites it.
  const KeyRecord initial = empty_key_record();
  const std::int32_t r = write_record(file_no, f, k, 0, 0, &initial, Growth::always);
  DataCtrl& bucket = f.pDataCtrl[k];
  bucket.lFileRecs = 0;
  bucket.lMaxFileRecs = bucket.lBlockRecs * bucket.lMaxBlockRecs;
  bucket.lMaxIndex = 0;
  return r < 0 ? r : k;
}

std::int32_t add_key(std::int32_t file_no, FileCtrl& f, std::int32_t s, const std::int32_t* keys) {
  if (keys == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  Section* sec = section_at(f, s);
  if (sec == nullptr) return report(kBadSectionHandle);
  const std::int32_t b = bucket_of(*sec, keys);
  const DataCtrl* dc = bucket_ctrl(f, *sec, b);
  if (dc == nullptr) return report(kSectionMismatch);
  const std::int32_t n = dc->lFileRecs;
  KeyRecord r = empty_key_record();
  std::copy(keys, keys + kMaxKeyLevels, r.nKey);
  const std::int32_t d = sec->nHashFstDataCtrlHandle + b;
  {
    const SameBytes append;
    if (const std::int32_t rc = write_record(file_no, f, d, n, 0, &r, Growth::always); rc < 0) {
      return rc;
    }
  }
  // Any value other than -1 marks the key as open.
  sec->lOpenKeysHandle = f.def.lFileLen;
  if (sec->lFstKeyHandle == -1) {
    sec->lFstKeyHandle = n;
    sec->nFstKeyBucket = b;
  }
  set_key_image(*sec, r);
  sec->nLstKeyBucket = b;
  sec->lLstKeyHandle = n;
  for (std::int32_t l = 0; l < sec->nKeys; ++l) {
    sec->nMaxKeys[l] = std::max(sec->nMaxKeys[l], keys[l]);
  }
  return n;
}

namespace {

// The section with buckets that a section number names, or the reported
// failure (-3404 no such section, -111 no buckets).
std::int32_t keyed_section(FileCtrl& f, std::int32_t no) {
  const std::int32_t s = section_of_number(f, no);
  if (s < 0) return report(kBadSectionNo);
  if (!has_buckets(f, *section_at(f, s))) return report(kSectionMismatch);
  return s;
}

}  // namespace

std::int32_t exist_key(std::int32_t file_no, FileCtrl& f, std::int32_t no,
                       const std::int32_t* keys) {
  if (keys == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t s = keyed_section(f, no);
  if (s < 0) return s;
  return find_key(file_no, f, s, keys);
}

std::int32_t get_max_key(FileCtrl& f, std::int32_t no, std::int32_t* keys) {
  if (keys == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t s = keyed_section(f, no);
  if (s < 0) return s;
  const Section& sec = *section_at(f, s);
  std::copy(sec.nMaxKeys, sec.nMaxKeys + sec.nKeys, keys);
  return sec.nKeys;
}

namespace {

// A start value below 0 lies before every key of the level: the
// enumeration goes on with 0 at the highest such level and every level
// below it, that is after (max, ..., max, -1).
void start_before_box(const Section& sec, std::int32_t* keys) {
  std::int32_t high = -1;
  for (std::int32_t l = 0; l < sec.nKeys; ++l) {
    if (keys[l] < 0) high = l;
  }
  if (high < 0) return;
  std::copy(sec.nMaxKeys, sec.nMaxKeys + high, keys);
  keys[high] = -1;
}

// Odometer order: level 0 turns fastest, so the highest level decides.
bool odometer_before(const Section& sec, const std::int32_t* a, const std::int32_t* b) {
  for (std::int32_t l = sec.nKeys - 1; l >= 0; --l) {
    if (a[l] != b[l]) return a[l] < b[l];
  }
  return false;
}

// The odometer runs each level from 0 to its largest value.
bool in_box(const Section& sec, const std::int32_t* keys) {
  for (std::int32_t l = 0; l < sec.nKeys; ++l) {
    if (keys[l] < 0 || keys[l] > sec.nMaxKeys[l]) return false;
  }
  return true;
}

// The first key of the section in odometer order that lies in the box and
// after `after` (anywhere when after is null), into next. Every key record
// is read once, so the work is bounded by the keys the buckets hold, never
// by the size of the box. 1 when found, 0 when not, a negative code when a
// key record cannot be read.
std::int32_t next_key(std::int32_t file_no, FileCtrl& f, std::int32_t s, const std::int32_t* after,
                      std::int32_t* next) {
  const Section sec = *section_at(f, s);
  bool found = false;
  for (std::int32_t b = 0; b < sec.nBuckets; ++b) {
    const DataCtrl* dc = bucket_ctrl(f, sec, b);
    if (dc == nullptr) return report(kSectionMismatch);
    const std::int32_t count = dc->lFileRecs;
    for (std::int32_t n = 0; n < count; ++n) {
      KeyRecord r{};
      const std::int32_t rc = read_record(file_no, f, sec.nHashFstDataCtrlHandle + b, n, 0, &r);
      if (rc < 0) return rc;
      if (!in_box(sec, r.nKey)) continue;
      if (after != nullptr && !odometer_before(sec, after, r.nKey)) continue;
      if (found && !odometer_before(sec, r.nKey, next)) continue;
      std::copy(r.nKey, r.nKey + sec.nKeys, next);
      found = true;
    }
  }
  return found ? 1 : 0;
}

}  // namespace

std::int32_t get_key(std::int32_t file_no, std::int32_t no, std::int32_t mode, std::int32_t* keys) {
  FileCtrl* f = file_at(file_no);
  if (f == nullptr || f->pFile == nullptr || keys == nullptr) return 0;
  const std::int32_t s = section_of_number(*f, no);
  if (s < 0 || !has_buckets(*f, *section_at(*f, s))) return 0;
  const Section& sec = *section_at(*f, s);
  std::int32_t after[kMaxKeyLevels] = {};
  if (mode != 0) {
    std::copy(keys, keys + sec.nKeys, after);
    start_before_box(sec, after);
  }
  std::int32_t next[kMaxKeyLevels] = {};
  if (next_key(file_no, *f, s, mode != 0 ? after : nullptr, next) != 1) return 0;
  std::copy(next, next + sec.nKeys, keys);
  // The first equal key record of its bucket becomes the current key.
  return find_key(file_no, *f, s, keys) == 1 ? 1 : 0;
}

std::int32_t get_section(FileCtrl& f, std::int32_t* section_no, std::int32_t* keys) {
  if (section_no == nullptr || keys == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t s = f.def.nActiveSectionHandle;
  const Section* sec = section_at(f, s);
  if (sec == nullptr) return report(DB_ERR_NO_ACTIVE_SECTION);
  std::copy(sec->nKeysLst, sec->nKeysLst + std::clamp(sec->nKeys, 0, kMaxKeyLevels), keys);
  *section_no = -1;
  for (std::int32_t n = 0; n < ind_sections_len(f); ++n) {
    if (f.pIndSections[n] == s) {
      *section_no = n;
      break;
    }
  }
  return 0;
}

}  // namespace rb
