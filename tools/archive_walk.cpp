// A walk over a database file: its layout as the validator reads it, its
// records and key records read through the library (or from the bytes of
// a file the library refuses), handed to a sink in dump order.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive.h"
#include "layout.h"
#include "messages.h"
#include "options.h"
#include "recbase.h"

namespace rbtool {

namespace {

bool in_range(std::int64_t value, std::int64_t low, std::int64_t end) {
  return value >= low && value < end;
}

std::string str(std::int64_t n) { return std::to_string(n); }

// ---- reading records -------------------------------------------------------

class LibraryRecords final : public RecordSource {
 public:
  explicit LibraryRecords(std::int32_t file) : file_(file) {}

  bool read(const rb::DataCtrl& dc, std::int32_t k, std::int32_t rec, std::int32_t sub,
            std::vector<unsigned char>& data) override {
    data.resize(static_cast<std::size_t>(dc.nDataSize));
    const std::int32_t r = dbRead(file_, -1 - k, rec, sub, data.data(), dc.nDataSize);
    if (r < 0) why_ = library_failure("dbRead", r);
    return r >= 0;
  }

  bool read_key(const rb::DataCtrl&, std::int32_t k, std::int32_t n, rb::KeyRecord& key) override {
    const std::int32_t r = dbReadKey(file_, k, n, &key, sizeof key);
    if (r < 0) why_ = library_failure("dbReadKey", r);
    return r >= 0;
  }

 private:
  std::int32_t file_;
};

// Records at the places the layout gives them, read with plain stdio.
class RawRecords final : public RecordSource {
 public:
  RawRecords(std::FILE* file, const rb::FileLayout& image) : file_(file), image_(image) {}
  ~RawRecords() override { std::fclose(file_); }
  RawRecords(const RawRecords&) = delete;
  RawRecords& operator=(const RawRecords&) = delete;

  bool read(const rb::DataCtrl& dc, std::int32_t, std::int32_t rec, std::int32_t sub,
            std::vector<unsigned char>& data) override {
    data.resize(static_cast<std::size_t>(dc.nDataSize));
    std::int64_t at = 0;
    if ((dc.nFlags & rb::kTypePlaced) != 0) {
      at = vector_entry(image_, dc.nIndexNo, rec);
      if (at < rb::kHeaderBlockSize) return failed("its place " + str(at) + " lies in the header");
    } else {
      const std::int64_t base =
          (dc.nFlags & rb::kTypeIndex) != 0 ? vector_entry(image_, dc.nIndexNo, rec) : rec;
      const std::int64_t slot = base + sub;
      if (base < 0 || slot < 0 || dc.lBlockRecs < 1) return failed("it has no slot");
      const std::int64_t block = slot / dc.lBlockRecs;
      if (block >= dc.lMaxBlockRecs) return failed("slot " + str(slot) + " lies beyond the area");
      at = dc.lOffsetData + block * dc.nBlockSize + (slot % dc.lBlockRecs) * dc.nDataSize;
    }
    return bytes(at, data.data(), dc.nDataSize);
  }

  bool read_key(const rb::DataCtrl& dc, std::int32_t k, std::int32_t n,
                rb::KeyRecord& key) override {
    std::vector<unsigned char> data;
    if (!read(dc, k, n, 0, data)) return false;
    std::memcpy(&key, data.data(), sizeof key);
    return true;
  }

 private:
  bool failed(std::string why) {
    why_ = std::move(why);
    return false;
  }

  bool bytes(std::int64_t at, void* out, std::int64_t length) {
    if (at < 0 || at + length > image_.size) {
      return failed("its bytes at " + str(at) + " lie beyond the end of the file (" +
                    str(image_.size) + " bytes)");
    }
    if (std::fseek(file_, static_cast<long>(at), SEEK_SET) != 0 ||
        std::fread(out, 1, static_cast<std::size_t>(length), file_) !=
            static_cast<std::size_t>(length)) {
      return failed("its bytes at " + str(at) + " cannot be read");
    }
    return true;
  }

  std::FILE* file_;
  const rb::FileLayout& image_;
};

// ---- the catalogue -----------------------------------------------------------

std::string type_label(std::int32_t k, const rb::DataCtrl& dc) {
  return "DataCtrl " + str(k) + " (type " + str(dc.nType) + ")";
}

// Why catalogue entry k cannot be read as a data type of its own; empty
// when it can. Checks what reading its records relies on.
std::string type_fault(const rb::FileLayout& image, std::int32_t k) {
  const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(k)];
  const bool bucket = dc.nFlags == rb::kTypeBucket;
  Kind kind{};
  if (!bucket && !kind_of_flags(dc.nFlags, kind)) return "flags " + str(dc.nFlags);
  if (dc.nDataSize < 1 || dc.nDataSize > std::max<std::int64_t>(image.size, 1)) {
    return "record size " + str(dc.nDataSize);
  }
  if (dc.nBlockSize < dc.nDataSize) {
    return "block size " + str(dc.nBlockSize) + " below the record size " + str(dc.nDataSize);
  }
  if (dc.lBlockRecs != dc.nBlockSize / dc.nDataSize) {
    return str(dc.lBlockRecs) + " records to a block of " + str(dc.nBlockSize) +
           " bytes, which holds " + str(dc.nBlockSize / dc.nDataSize);
  }
  if (dc.lMaxBlockRecs < 0 || dc.lLenData != std::int64_t{dc.lMaxBlockRecs} * dc.nBlockSize) {
    return "an area of " + str(dc.lMaxBlockRecs) + " blocks that is " + str(dc.lLenData) +
           " bytes long";
  }
  if (dc.lOffsetData < rb::kHeaderBlockSize ||
      std::int64_t{dc.lOffsetData} + dc.lLenData > std::numeric_limits<std::int32_t>::max()) {
    return "its area at offset " + str(dc.lOffsetData);
  }
  const auto owned = [&](std::int32_t v, std::int32_t kind_no) {
    return in_range(v, 0, static_cast<std::int64_t>(image.index_ctrls.size())) &&
           static_cast<std::size_t>(v) < image.vectors.size() &&
           image.index_ctrls[static_cast<std::size_t>(v)].nIndexType == kind_no &&
           image.index_ctrls[static_cast<std::size_t>(v)].nOwnerNo == k &&
           static_cast<std::int64_t>(image.vectors[static_cast<std::size_t>(v)].size()) ==
               image.index_ctrls[static_cast<std::size_t>(v)].lIndexLen;
  };
  if ((dc.nFlags & rb::kTypeIndex) != 0 && !owned(dc.nIndexNo, rb::kVectorIndex)) {
    return "its index vector " + str(dc.nIndexNo) + " is missing or not its own";
  }
  if ((dc.nFlags & rb::kTypeIterator) != 0 && !owned(dc.nIteratorNo, rb::kVectorIterator)) {
    return "its iterator vector " + str(dc.nIteratorNo) + " is missing or not its own";
  }
  return {};
}

// What the records of one data type need, and for a plain type which they are.
struct RecordList {
  std::int64_t plain_count = 0;  // plain types: records 0 .. plain_count - 1
  std::int64_t beyond_area = 0;  // plain records counted beyond the slots that can be read
  std::int64_t needed = 0;       // slots a new area needs for them
  std::int64_t numbers = 0;      // highest record number + 1: entries a new vector needs
};

// Slots whose records can be read: the area's, in a salvage only those of
// its blocks that begin inside the file.
std::int64_t readable_slots(const rb::FileLayout& image, const rb::DataCtrl& dc, bool strict) {
  if (strict) return area_slots(dc);
  const std::int64_t blocks = std::clamp<std::int64_t>(
      (image.size - dc.lOffsetData + dc.nBlockSize - 1) / dc.nBlockSize, 0, dc.lMaxBlockRecs);
  return blocks * dc.lBlockRecs;
}

// Records under number rec of an indexed type: the run length of an
// iterator type, else 1. A salvage keeps to the part of a run that can be
// read.
std::int64_t run_length(const rb::FileLayout& image, const rb::DataCtrl& dc, std::int64_t rec,
                        bool strict) {
  const std::int64_t run = stored_records(image, dc, rec);
  if (strict || (dc.nFlags & rb::kTypeIterator) == 0) return run;
  const std::int64_t base = vector_entry(image, dc.nIndexNo, rec);
  return std::clamp<std::int64_t>(readable_slots(image, dc, false) - base, 0, run);
}

RecordList list_records(const rb::FileLayout& image, const rb::DataCtrl& dc, bool strict) {
  RecordList list;
  if ((dc.nFlags & rb::kTypeIndex) == 0) {
    const std::int64_t count =
        std::max({std::int64_t{dc.lMaxIndex}, std::int64_t{dc.lFileRecs}, std::int64_t{0}});
    list.plain_count = std::min(count, readable_slots(image, dc, strict));
    list.beyond_area = count - list.plain_count;
    list.needed = list.plain_count;
    return list;
  }
  const std::vector<std::int32_t>& index = image.vectors[static_cast<std::size_t>(dc.nIndexNo)];
  for (std::size_t rec = 0; rec < index.size(); ++rec) {
    if (index[rec] == -1) continue;
    list.numbers = static_cast<std::int64_t>(rec) + 1;
    if ((dc.nFlags & rb::kTypePlaced) != 0) continue;
    list.needed += run_length(image, dc, static_cast<std::int64_t>(rec), strict);
  }
  return list;
}

// Initial records of a new area: the room the type has, or with tight the
// records it holds; never less than those, so that loading grows nothing.
// The same count sizes the vectors of an indexed type: tight, they reach
// the highest record number where that takes no block more.
// A salvage takes the room only when it agrees with the area.
std::int32_t initial_records(const rb::DataCtrl& dc, const RecordList& list,
                             const WalkOptions& options) {
  const std::int64_t needed = list.needed;
  const std::int64_t room = dc.lMaxFileRecs;
  const std::int64_t per_block = std::max(dc.lBlockRecs, 1);
  const auto capacity = [&](std::int64_t n) { return ((n - 1) / per_block + 1) * per_block; };
  const bool sane = options.strict || (room >= 0 && room <= area_slots(dc));
  if (options.tight || !sane || capacity(room) < needed) {
    const std::int64_t vector = std::min(capacity(needed), list.numbers);
    return static_cast<std::int32_t>(std::min<std::int64_t>(std::max(needed, vector), INT32_MAX));
  }
  return static_cast<std::int32_t>(room);
}

// ---- the walk ----------------------------------------------------------------

class Walker {
 public:
  Walker(const rb::FileLayout& image, RecordSource& source, const WalkOptions& options, Sink& sink,
         WalkReport& report)
      : image_(image), source_(source), options_(options), sink_(sink), report_(report) {
    if (options.findings == nullptr) return;
    // The rules that judge a DataCtrl's own fields; the others (records
    // counted, index entries) are held against each record as it is read.
    const std::set<std::string> descriptor = {"type-sizes", "area-place", "area-overlap",
                                              "vector-owner", "section-index"};
    for (const rb::Finding& f : *options.findings) {
      const std::string field = f.field;
      if (descriptor.count(f.rule) == 0 || field == "nDataTypeIndexNo" || f.entry < 0) continue;
      faulted_.emplace(f.entry, std::string("the validator's rule ") + f.rule + ": " + field +
                                    " is " + str(f.seen) + ", against " + str(f.bound));
    }
  }

  bool run() {
    DatabaseDecl d;
    d.mode = image_.def.nFlags & ~DB_MODE_CREATED;
    if (!options_.strict) d.mode |= DB_MODE_WRITE;
    const std::vector<Numbered> numbered = numbered_types();
    d.max_data_type = image_.def.nIndDataTypes;
    d.max_section = image_.def.nIndSections;
    if (!options_.strict) sane_tunables(d, numbered);
    if (!sink_.database(d)) return sink_failed();

    std::vector<Kept> kept;
    for (const Numbered& n : numbered) {
      const rb::DataCtrl& dc = types()[static_cast<std::size_t>(n.k)];
      if (const std::string fault = fault_of(n.k); !fault.empty()) {
        if (!damage("type " + str(n.number) + " (DataCtrl " + str(n.k) + ") is damaged: " + fault,
                    "type " + str(n.number) + " left behind: " + fault + "; it counted " +
                        counted(dc.lFileRecs, "record", "records"))) {
          return false;
        }
        ++report_.types_left_behind;
        report_.records_left_behind += std::max(dc.lFileRecs, 0);
        reached_.insert(n.k);
        continue;
      }
      const RecordList list = list_records(image_, dc, options_.strict);
      TypeDecl t;
      t.number = n.number;
      kind_of_flags(dc.nFlags, t.kind);
      t.size = dc.nDataSize;
      t.block = dc.nBlockSize;
      t.initial = initial_records(dc, list, options_);
      kept.push_back({n.k, t, list});
      reached_.insert(n.k);
    }
    for (const Kept& t : kept) {
      if (!sink_.type(t.decl)) return sink_failed();
      ++totals_.types;
    }
    for (const Kept& t : kept) {
      if (!records(t.k, t.decl, t.list, false)) return false;
    }
    if (!sections()) return false;
    left_out();
    report_.passed = totals_;
    if (!sink_.end(totals_)) return sink_failed();
    return true;
  }

  std::string error;

 private:
  struct Numbered {
    std::int32_t k;
    std::int32_t number;
  };
  struct Kept {
    std::int32_t k;
    TypeDecl decl;
    RecordList list;
  };

  // Why data type k cannot be read: a fault of its descriptor.
  std::string fault_of(std::int32_t k) const {
    std::string fault = type_fault(image_, k);
    const auto found = faulted_.find(k);
    if (fault.empty() && found != faulted_.end()) fault = found->second;
    return fault;
  }

  const std::vector<rb::DataCtrl>& types() const { return image_.types; }
  std::int64_t n_types() const { return static_cast<std::int64_t>(image_.types.size()); }

  bool sink_failed() {
    error = sink_.error();
    return false;
  }

  // A part that cannot be read: the end of a strict walk; otherwise left
  // behind with the reason, and the walk goes on.
  bool damage(const std::string& strict_text, const std::string& salvage_text) {
    if (options_.strict) {
      error = strict_text;
      return false;
    }
    report_.left_behind.push_back(salvage_text);
    return true;
  }

  // A numbered data type is one that no section owns and that its number
  // names in the IndDataTypes vector; in catalogue order. In a salvage
  // whose vector cannot be read, every such type is named by its number
  // (the last of a number, as when it was declared again).
  std::vector<Numbered> numbered_types() const {
    std::vector<Numbered> out;
    const auto numbered = [&](std::int64_t k) {
      const rb::DataCtrl& dc = types()[static_cast<std::size_t>(k)];
      return (dc.nFlags & rb::kTypeBucket) == 0 && dc.nSectionIndexNo == -1 && dc.nType >= 0;
    };
    const bool lost = image_.ind_types.empty() && image_.def.nIndDataTypes > 0;
    if (lost && !options_.strict) {
      std::map<std::int32_t, std::int32_t> last;
      for (std::int64_t k = 0; k < n_types(); ++k) {
        if (numbered(k)) last[types()[static_cast<std::size_t>(k)].nType] = static_cast<int>(k);
      }
      for (const auto& [number, k] : last) out.push_back({k, number});
    } else {
      for (std::size_t t = 0; t < image_.ind_types.size(); ++t) {
        const std::int32_t k = image_.ind_types[t];
        if (!in_range(k, 0, n_types()) || !numbered(k) ||
            types()[static_cast<std::size_t>(k)].nType != static_cast<std::int64_t>(t)) {
          continue;
        }
        out.push_back({k, static_cast<std::int32_t>(t)});
      }
    }
    std::sort(out.begin(), out.end(),
              [](const Numbered& a, const Numbered& b) { return a.k < b.k; });
    return out;
  }

  // A salvage sizes the number vectors of the new file by what it keeps
  // when the header's counts are beyond reason.
  void sane_tunables(DatabaseDecl& d, const std::vector<Numbered>& numbered) const {
    std::int64_t highest_type = -1;
    for (const Numbered& n : numbered)
      highest_type = std::max<std::int64_t>(highest_type, n.number);
    std::int64_t highest_section = -1;
    for (std::size_t n = 0; n < image_.ind_sections.size(); ++n) {
      if (image_.ind_sections[n] != -1) highest_section = static_cast<std::int64_t>(n);
    }
    const std::int64_t bound = image_.size / rb::kEntrySize + 1;
    if (d.max_data_type <= highest_type || d.max_data_type > bound) {
      d.max_data_type = static_cast<std::int32_t>(std::max<std::int64_t>(highest_type + 1, 1));
    }
    if (d.max_section <= highest_section || d.max_section > bound) {
      d.max_section = static_cast<std::int32_t>(std::max<std::int64_t>(highest_section + 1, 1));
    }
  }

  // The records of catalogue entry k, declared as t, to the sink.
  bool records(std::int32_t k, const TypeDecl& t, const RecordList& list, bool place) {
    const rb::DataCtrl& dc = types()[static_cast<std::size_t>(k)];
    const std::string name = (place ? "place " : "type ") + str(t.number);
    if (list.beyond_area > 0 && options_.strict) {
      error = owner_ + name + " counts " + str(list.plain_count + list.beyond_area) +
              " records, beyond its area of " + str(list.plain_count);
      return false;
    }
    std::int64_t lost = list.beyond_area;
    std::string first_why =
        lost > 0 ? "records " + str(list.plain_count) + " and on lie beyond what can be read" : "";
    const auto pass = [&](std::int32_t rec, std::int32_t sub) {
      if (!source_.read(dc, k, rec, sub, data_)) {
        if (options_.strict) {
          error = owner_ + name + " record " + str(rec) + " sub " + str(sub) +
                  " cannot be read: " + source_.why();
          return -1;
        }
        if (first_why.empty()) {
          first_why = "record " + str(rec) + " sub " + str(sub) + ": " + source_.why();
        }
        ++lost;
        return 0;
      }
      const bool ok = place ? sink_.place_record(t.number, rec, sub, data_)
                            : sink_.record(t.number, rec, sub, data_);
      if (!ok) {
        sink_failed();
        return -1;
      }
      ++totals_.records;
      return 1;
    };
    if ((dc.nFlags & rb::kTypeIndex) == 0) {
      for (std::int64_t rec = 0; rec < list.plain_count; ++rec) {
        if (pass(static_cast<std::int32_t>(rec), 0) < 0) return false;
      }
    } else {
      const std::vector<std::int32_t>& index =
          image_.vectors[static_cast<std::size_t>(dc.nIndexNo)];
      for (std::size_t r = 0; r < index.size(); ++r) {
        if (index[r] == -1) continue;
        const auto rec = static_cast<std::int32_t>(r);
        const std::int64_t runs = run_length(image_, dc, rec, options_.strict);
        const std::int64_t stored = run_length(image_, dc, rec, true);
        if (runs < stored) {
          if (first_why.empty()) {
            first_why =
                "record " + str(rec) + ": a run of " + str(stored) + " reaches beyond the area";
          }
          lost += stored - runs;
        }
        for (std::int32_t sub = 0; sub < runs; ++sub) {
          const int passed = pass(rec, sub);
          if (passed < 0) return false;
          if (passed == 0) {  // a run goes on only without a gap
            lost += runs - sub - 1;
            break;
          }
        }
      }
    }
    if (lost > 0) {
      report_.records_left_behind += lost;
      report_.left_behind.push_back(owner_ + name + ": " + counted(lost, "record", "records") +
                                    " left behind (" + first_why + ")");
    }
    return true;
  }

  bool sections() {
    for (std::size_t n = 0; n < image_.ind_sections.size(); ++n) {
      const std::int32_t s = image_.ind_sections[n];
      if (s == -1) continue;
      const auto number = static_cast<std::int32_t>(n);
      if (!in_range(s, 0, static_cast<std::int64_t>(image_.sections.size())) ||
          image_.sections[static_cast<std::size_t>(s)].nSectionType != number) {
        if (!damage("IndSections entry " + str(number) + " names section index " + str(s) +
                        ", which is not section " + str(number),
                    "section " + str(number) + " left behind: its IndSections entry names " +
                        "section index " + str(s) + ", which is not section " + str(number))) {
          return false;
        }
        ++report_.sections_left_behind;
        continue;
      }
      if (!section(number, s)) return false;
    }
    return true;
  }

  // Why the buckets of section index s cannot be read; empty when they can.
  std::string bucket_fault(const rb::Section& sec) const {
    if (sec.nKeys < 1 || sec.nKeys > rb::kMaxKeyLevels) return "key depth " + str(sec.nKeys);
    if (!rb::bucket_layout_fits(sec.nBuckets, sec.nBucketMsk, sizeof(rb::KeyRecord))) {
      return str(sec.nBuckets) + " buckets with mask " + str(sec.nBucketMsk);
    }
    if (sec.nHashFstDataCtrlHandle < 0 ||
        std::int64_t{sec.nHashFstDataCtrlHandle} + sec.nBuckets > n_types()) {
      return "its first bucket " + str(sec.nHashFstDataCtrlHandle) + " lies outside the catalogue";
    }
    return {};
  }

  // Why bucket k cannot be read; empty when it can.
  std::string bucket_type_fault(std::int32_t k) const {
    const rb::DataCtrl& dc = types()[static_cast<std::size_t>(k)];
    if (dc.nFlags != rb::kTypeBucket || dc.nDataSize != sizeof(rb::KeyRecord)) {
      return "DataCtrl " + str(k) + " is no bucket";
    }
    if (std::string fault = type_fault(image_, k); !fault.empty()) {
      return "bucket DataCtrl " + str(k) + ": " + fault;
    }
    if (dc.lFileRecs < 0 || dc.lFileRecs > area_slots(dc)) {
      return "bucket DataCtrl " + str(k) + " counts " + str(dc.lFileRecs) + " keys in room for " +
             str(area_slots(dc));
    }
    return {};
  }

  bool section(std::int32_t number, std::int32_t s) {
    const rb::Section& sec = image_.sections[static_cast<std::size_t>(s)];
    const std::string name = "section " + str(number);
    reached_sections_.insert(s);
    SectionDecl decl;
    decl.number = number;
    decl.flags = sec.nFlags;
    if (sec.nHashFstDataCtrlHandle == -1) {  // added without buckets: holds no keys
      if (!sink_.section(decl)) return sink_failed();
      ++totals_.sections;
      return true;
    }
    if (const std::string fault = bucket_fault(sec); !fault.empty()) {
      ++report_.sections_left_behind;
      return damage(name + " is damaged: " + fault, name + " left behind with its keys: " + fault);
    }
    std::vector<bool> sound(static_cast<std::size_t>(sec.nBuckets));
    for (std::int32_t b = 0; b < sec.nBuckets; ++b) {
      const std::int32_t k = sec.nHashFstDataCtrlHandle + b;
      reached_.insert(k);
      const std::string fault = bucket_type_fault(k);
      sound[static_cast<std::size_t>(b)] = fault.empty();
      if (fault.empty()) {
        if (decl.bucket_block == 0)
          decl.bucket_block = types()[static_cast<std::size_t>(k)].nBlockSize;
        continue;
      }
      if (!damage(name + " bucket " + str(b) + ": " + fault,
                  name + " bucket " + str(b) + " left behind with its keys: " + fault)) {
        return false;
      }
    }
    if (decl.bucket_block == 0) {
      ++report_.sections_left_behind;
      report_.left_behind.push_back(name + " left behind: none of its buckets can be read");
      return true;
    }
    decl.keys = sec.nKeys;
    decl.buckets = sec.nBuckets;
    decl.mask = sec.nBucketMsk;
    if (!sink_.section(decl)) return sink_failed();
    ++totals_.sections;
    for (std::int32_t b = 0; b < sec.nBuckets; ++b) {
      if (!sound[static_cast<std::size_t>(b)]) continue;
      const std::int32_t k = sec.nHashFstDataCtrlHandle + b;
      const rb::DataCtrl& bucket = types()[static_cast<std::size_t>(k)];
      for (std::int32_t n = 0; n < bucket.lFileRecs; ++n) {
        if (!key(number, s, sec, b, k, n)) return false;
      }
    }
    return true;
  }

  bool key(std::int32_t number, std::int32_t s, const rb::Section& sec, std::int32_t b,
           std::int32_t k, std::int32_t n) {
    const std::string where =
        "section " + str(number) + " bucket " + str(b) + " key record " + str(n);
    rb::KeyRecord record{};
    if (!source_.read_key(types()[static_cast<std::size_t>(k)], k, n, record)) {
      ++report_.keys_left_behind;
      return damage(where + " cannot be read: " + source_.why(),
                    where + " left behind: " + source_.why());
    }
    KeyValues values{};
    std::copy(record.nKey, record.nKey + rb::kMaxKeyLevels, values.begin());
    std::string shown = "(";
    for (std::int32_t l = 0; l < sec.nKeys; ++l) shown += (l > 0 ? ", " : "") + str(values[l]);
    shown += ")";
    const std::int32_t home = rb::bucket_of(sec, record.nKey);
    if (home != b) {
      const std::string why = "key " + shown + " lies in bucket " + str(b) +
                              " but its values select bucket " + str(home) +
                              ": a look-up cannot find it (its values are damaged)";
      if (options_.strict) {
        report_.warnings.push_back("section " + str(number) + ": " + why);
      } else {
        ++report_.keys_left_behind;
        report_.left_behind.push_back("section " + str(number) + ": " + why +
                                      "; left behind with its data types");
        return true;
      }
    }
    if (!sink_.key(values)) return sink_failed();
    ++totals_.keys;
    owner_ = "section " + str(number) + " key " + shown + " ";
    for (std::int32_t p = 0; p < rb::kSectionPlaces; ++p) {
      const std::int32_t d = record.nIndDataCtrl[p];
      if (d == -1) continue;
      if (!place(s, p, d)) return false;
    }
    owner_.clear();
    return true;
  }

  bool place(std::int32_t s, std::int32_t p, std::int32_t d) {
    const std::string name = owner_ + "place " + str(p);
    std::string fault;
    if (!in_range(d, 0, n_types())) {
      fault = "it names DataCtrl " + str(d) + ", beyond the catalogue";
    } else if (types()[static_cast<std::size_t>(d)].nSectionIndexNo != s ||
               (types()[static_cast<std::size_t>(d)].nFlags & rb::kTypeBucket) != 0) {
      fault = "DataCtrl " + str(d) + " is no data type of this section";
    } else {
      fault = fault_of(d);
    }
    const rb::DataCtrl* dc =
        in_range(d, 0, n_types()) ? &types()[static_cast<std::size_t>(d)] : nullptr;
    if (!fault.empty()) {
      ++report_.types_left_behind;
      if (dc != nullptr && fault.rfind("DataCtrl", 0) != 0) {
        report_.records_left_behind += std::max(dc->lFileRecs, 0);
      }
      if (dc != nullptr) reached_.insert(d);
      return damage(name + " is damaged: " + fault, name + " left behind: " + fault);
    }
    reached_.insert(d);
    const RecordList list = list_records(image_, *dc, options_.strict);
    TypeDecl t;
    t.number = p;
    kind_of_flags(dc->nFlags, t.kind);
    t.size = dc->nDataSize;
    t.block = dc->nBlockSize;
    if (!sink_.place(t)) return sink_failed();
    ++totals_.places;
    return records(d, t, list, true);
  }

  // What no number, section or key reaches: passed on by no walk.
  void left_out() {
    std::int64_t types_out = 0;
    std::int64_t records_out = 0;
    std::string first;
    for (std::int64_t k = 0; k < n_types(); ++k) {
      const rb::DataCtrl& dc = types()[static_cast<std::size_t>(k)];
      if (reached_.count(static_cast<std::int32_t>(k)) != 0) continue;
      if ((dc.nFlags & rb::kTypeBucket) != 0) continue;     // of a section left out
      if (dc.nDataSize == 0 && dc.lLenData == 0) continue;  // a refused declaration
      if (first.empty()) first = type_label(static_cast<std::int32_t>(k), dc);
      ++types_out;
      records_out += std::max(dc.lFileRecs, 0);
    }
    if (types_out > 0) {
      report_.left_out.push_back(
          counted(types_out, "data type", "data types") + " that no number or key names (" +
          counted(records_out, "record", "records") + "; the first is " + first + ")");
    }
    std::int64_t sections_out = 0;
    for (std::size_t s = 0; s < image_.sections.size(); ++s) {
      if (reached_sections_.count(static_cast<std::int32_t>(s)) == 0) ++sections_out;
    }
    if (sections_out > 0) {
      report_.left_out.push_back(counted(sections_out, "section", "sections") +
                                 " that no section number names (declared again, or numbered "
                                 "beyond max-section)");
    }
  }

  const rb::FileLayout& image_;
  RecordSource& source_;
  const WalkOptions& options_;
  Sink& sink_;
  WalkReport& report_;
  Totals totals_;
  std::set<std::int32_t> reached_;
  std::set<std::int32_t> reached_sections_;
  std::vector<unsigned char> data_;
  std::string owner_;  // "section N key (..) " while the places of a key are walked
  std::map<std::int32_t, std::string> faulted_;  // DataCtrl index -> the validator's finding
};

}  // namespace

std::unique_ptr<RecordSource> library_records(std::int32_t file) {
  return std::make_unique<LibraryRecords>(file);
}

std::unique_ptr<RecordSource> raw_records(const std::string& path, const rb::FileLayout& image) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<RawRecords>(file, image);
}

bool walk_database(const rb::FileLayout& image, RecordSource& source, const WalkOptions& options,
                   Sink& sink, WalkReport& report, std::string& error) {
  Walker walker(image, source, options, sink, report);
  if (walker.run()) return true;
  error = walker.error;
  return false;
}

}  // namespace rbtool
