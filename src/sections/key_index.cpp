#include "sections/key_index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "file/stream.h"
#include "frame/state.h"
#include "records/cache.h"
#include "sections/sections.h"

namespace rb {

namespace {

using Key = std::array<std::int32_t, kMaxKeyLevels>;

std::uint64_t hash_of(const Key& k) {
  std::uint64_t h = 0x9E3779B97F4A7C15ULL;
  for (const std::int32_t v : k) h = (h ^ static_cast<std::uint32_t>(v)) * 0xBF58476D1CE4E5B9ULL;
  h ^= h >> 31;
  h *= 0x94D049BB133111EBULL;
  return h ^ (h >> 29);
}

// Key -> first record, open addressing with linear probing; the table is
// at most half full. A slot holds the record and a 32-bit tag of the key's
// hash, not the key, so that the table of a large bucket stays small
// enough for the processor's caches: a record found is a candidate that the
// caller compares with the key it asked for. Two keys with one tag share
// the first record of either; the comparison then fails and the bucket is
// scanned. A key whose tag is absent is absent.
class FirstRecords {
 public:
  // The tag also gives the slot's home, so the table can grow without keys.
  static std::uint32_t tag_of(const Key& key) {
    return static_cast<std::uint32_t>(hash_of(key) >> 32);
  }
  void clear() {
    slots_.clear();
    used_ = 0;
  }
  // Makes room for `keys` keys in all, so that adding them moves nothing.
  void reserve(std::size_t keys) {
    std::size_t size = std::max<std::size_t>(64, slots_.size());
    while (size < 2 * keys) size *= 2;
    if (size > slots_.size()) rehash(size);
  }
  // Keeps the record already stored for the key's tag.
  void add(const Key& key, std::int32_t rec) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    const std::uint32_t tag = tag_of(key);
    Slot& slot = probe(tag);
    if (slot.rec >= 0) return;
    slot = Slot{tag, rec};
    ++used_;
  }
  std::int32_t find(const Key& key) const {
    if (slots_.empty()) return -1;
    return const_cast<FirstRecords*>(this)->probe(tag_of(key)).rec;
  }

 private:
  struct Slot {
    std::uint32_t tag = 0;
    std::int32_t rec = -1;
  };
  Slot& probe(std::uint32_t tag) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t p = tag & mask;; p = (p + 1) & mask) {
      if (slots_[p].rec < 0 || slots_[p].tag == tag) return slots_[p];
    }
  }
  void grow() { rehash(std::max<std::size_t>(64, slots_.size() * 2)); }
  void rehash(std::size_t size) {
    std::vector<Slot> old(size);
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.rec >= 0) probe(slot.tag) = slot;
    }
  }
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// What a bucket's records are read through; an index built under another
// layout answers nothing.
struct Layout {
  std::int32_t first_ctrl, keys, buckets, mask;
  std::int32_t offset, block_size, block_recs, max_blocks, data_size, flags;
  bool operator==(const Layout&) const = default;
};

struct BucketKeys {
  Layout layout{};
  bool broken = false;     // a record could not be read: scan
  std::int32_t count = 0;  // records indexed
  FirstRecords first;
};

Layout layout_of(const Section& sec, const DataCtrl& dc) {
  return Layout{sec.nHashFstDataCtrlHandle,
                sec.nKeys,
                sec.nBuckets,
                sec.nBucketMsk,
                dc.lOffsetData,
                dc.nBlockSize,
                dc.lBlockRecs,
                dc.lMaxBlockRecs,
                dc.nDataSize,
                dc.nFlags};
}

Key key_of(const std::int32_t* values, std::int32_t levels) {
  Key k{};
  std::copy(values, values + levels, k.begin());
  return k;
}

}  // namespace

struct KeyIndex final : FileAttachment {
  std::vector<std::vector<BucketKeys>> sections;  // [section index][bucket]
  std::uint64_t epoch = 0;                        // the file's write epoch it was built under
};

void key_index_forget(FileCtrl& f) {
  delete f.pKeyIndex;
  f.pKeyIndex = nullptr;
  f.lWatchLow = INT64_MAX;
  f.lWatchHigh = 0;
}

namespace {

// The bytes of the block at offset as a bucket read would see them: the
// cached copy, the file's bytes in place or read into `copy`, or zeros
// beyond the file. Null when the read would fail or would first have to
// retire a shorter cached copy of the block.
const unsigned char* block_bytes(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                                 std::int32_t length, std::vector<unsigned char>& copy) {
  bool cached = false;
  const unsigned char* held = peek_block(file_no, offset, length, cached);
  if (cached) return held;
  copy.resize(static_cast<std::size_t>(length));
  if (offset >= f.def.lFileLen) {
    std::fill(copy.begin(), copy.end(), 0);
    return copy.data();
  }
  if (offset < 0 || static_cast<std::int64_t>(offset) + length > f.def.lFileLen) return nullptr;
  if (const unsigned char* view = stream_view(*f.pFile, offset, length)) return view;
  const std::int32_t piece = std::max<std::int32_t>(1, g_lib.sys->lBufferLen);
  const bool read = read_pieces(*f.pFile, offset, copy.data(), length, piece) == length;
  return read ? copy.data() : nullptr;
}

// Indexes the records of the bucket from entry.count up to n.
bool extend(std::int32_t file_no, FileCtrl& f, BucketKeys& entry, std::int32_t n) {
  const Layout& l = entry.layout;
  std::vector<unsigned char> copy;
  const unsigned char* block = nullptr;
  std::int64_t loaded = -1;
  // Room for the records the file holds at once (a damaged count reaching
  // far beyond the file is not taken on trust).
  const std::int64_t in_file =
      (std::max<std::int64_t>(0, f.def.lFileLen - l.offset) / l.block_size + 1) * l.block_recs;
  entry.first.reserve(static_cast<std::size_t>(std::min<std::int64_t>(n, in_file)));
  for (std::int32_t rec = entry.count; rec < n; ++rec) {
    const std::int64_t b = rec / l.block_recs;
    const std::int64_t offset = l.offset + b * l.block_size;
    if (b >= l.max_blocks || !range_fits(offset, l.block_size)) return false;
    if (b != loaded) {
      block = block_bytes(file_no, f, static_cast<std::int32_t>(offset), l.block_size, copy);
      if (block == nullptr) return false;
      loaded = b;
    }
    KeyRecord r{};
    std::memcpy(&r, block + static_cast<std::size_t>(rec % l.block_recs) * l.data_size, sizeof r);
    entry.first.add(key_of(r.nKey, l.keys), rec);
    entry.count = rec + 1;
  }
  return true;
}

bool find(std::int32_t file_no, FileCtrl& f, std::int32_t s, std::int32_t b,
          const std::int32_t* keys, std::int32_t& rec, std::int32_t& records) {
  Section& sec = *section_at(f, s);
  const DataCtrl* dc = bucket_ctrl(f, sec, b);
  if (dc == nullptr || dc->nDataSize != kKeyRecordSize || dc->lBlockRecs < 1) return false;
  if (f.pKeyIndex == nullptr) f.pKeyIndex = new KeyIndex();
  auto& index = static_cast<KeyIndex&>(*f.pKeyIndex);
  if (index.epoch != f.nWriteEpoch) {
    // Bytes it read were written since, or the tables changed: start again.
    index.sections.clear();
    index.epoch = f.nWriteEpoch;
    f.lWatchLow = INT64_MAX;
    f.lWatchHigh = 0;
  }
  if (index.sections.size() <= static_cast<std::size_t>(s)) index.sections.resize(s + 1);
  std::vector<BucketKeys>& of_section = index.sections[static_cast<std::size_t>(s)];
  if (of_section.size() <= static_cast<std::size_t>(b)) of_section.resize(b + 1);
  BucketKeys& entry = of_section[static_cast<std::size_t>(b)];
  const Layout now = layout_of(sec, *dc);
  if (!(entry.layout == now) || dc->lFileRecs < entry.count) {
    entry.layout = now;
    entry.broken = false;
    entry.count = 0;
    entry.first.clear();
  }
  if (entry.broken) return false;
  const std::int64_t area_end = static_cast<std::int64_t>(now.offset) +
                                static_cast<std::int64_t>(now.max_blocks) * now.block_size;
  f.lWatchLow = std::min<std::int64_t>(f.lWatchLow, now.offset);
  f.lWatchHigh = std::max(f.lWatchHigh, area_end);
  if (entry.count < dc->lFileRecs && !extend(file_no, f, entry, dc->lFileRecs)) {
    entry.broken = true;
    return false;
  }
  rec = entry.first.find(key_of(keys, now.keys));
  records = dc->lFileRecs;
  return true;
}

}  // namespace

bool key_index_shared_tag(const std::int32_t* a, const std::int32_t* b, std::int32_t levels) {
  return FirstRecords::tag_of(key_of(a, levels)) == FirstRecords::tag_of(key_of(b, levels));
}

#ifdef RECBASE_TESTING
namespace testing {
std::uint32_t key_tag(const std::int32_t* keys, std::int32_t levels) {
  return FirstRecords::tag_of(key_of(keys, levels));
}
}  // namespace testing
#endif

bool key_index_find(std::int32_t file_no, FileCtrl& f, std::int32_t s, std::int32_t b,
                    const std::int32_t* keys, std::int32_t& rec, std::int32_t& records) {
  try {
    return find(file_no, f, s, b, keys, rec, records);
  } catch (const std::bad_alloc&) {
    key_index_forget(f);
    return false;
  }
}

}  // namespace rb
