#include "deep.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

#include "recbase.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

constexpr std::int64_t kChunk = 1 << 20;

// File offset of a field of DataCtrl k.
std::int64_t type_field(const rb::FileLayout& image, std::size_t k, std::size_t at) {
  return image.def.lOffsetDataCtrl + static_cast<std::int64_t>(k * sizeof(rb::DataCtrl) + at);
}

Issue issue(const char* rule, const char* field, std::string subject, std::int64_t offset,
            std::int64_t seen, std::int64_t bound, Stage stage, const char* explanation) {
  Issue i;
  i.rule = rule;
  i.field = field;
  i.subject = std::move(subject);
  i.offset = offset;
  i.seen = seen;
  i.bound = bound;
  i.stage = stage;
  i.explanation = explanation;
  return i;
}

// The slots of one data type, each taken by at most one record number.
class Slots {
 public:
  explicit Slots(std::int64_t count)
      : used_(static_cast<std::size_t>(std::max<std::int64_t>(count, 0))) {}
  // False when a slot of first .. first + n - 1 is taken already; marks them.
  bool take(std::int64_t first, std::int64_t n) {
    bool free = true;
    for (std::int64_t s = first; s < first + n; ++s) {
      if (s < 0 || static_cast<std::size_t>(s) >= used_.size()) continue;
      free = free && !used_[static_cast<std::size_t>(s)];
      used_[static_cast<std::size_t>(s)] = true;
    }
    return free;
  }

 private:
  std::vector<bool> used_;
};

void check_type(const rb::FileLayout& image, std::size_t k, std::vector<Issue>& out,
                DeepStats& stats) {
  const rb::DataCtrl& dc = image.types[k];
  const std::string subject = type_subject(image, k);
  const bool indexed = (dc.nFlags & rb::kTypeIndex) != 0;
  const bool placed = (dc.nFlags & rb::kTypePlaced) != 0;
  const bool iterated = (dc.nFlags & rb::kTypeIterator) != 0;
  const std::int64_t max_index = std::max(dc.lMaxIndex, 0);
  const auto count_issue = [&](std::int64_t expected, const char* why) {
    out.push_back(issue("record-count", "lFileRecs", subject,
                        type_field(image, k, offsetof(rb::DataCtrl, lFileRecs)), dc.lFileRecs,
                        expected, Stage::kTables, why));
  };
  if (!indexed) {
    // Record numbers are slots: the count is the highest number written + 1.
    if (dc.lFileRecs != max_index) {
      count_issue(max_index,
                  "the record count differs from the highest record number written + 1 "
                  "(lMaxIndex): records beyond the count are lost to readers, or the count "
                  "claims records never written");
    }
    return;
  }
  const std::int32_t v = dc.nIndexNo;
  if (v < 0 || static_cast<std::size_t>(v) >= image.vectors.size()) return;
  const std::vector<std::int32_t>& index = image.vectors[static_cast<std::size_t>(v)];
  const rb::IndexCtrl& ic = image.index_ctrls[static_cast<std::size_t>(v)];
  const std::vector<std::int32_t>* runs = nullptr;
  if (iterated && dc.nIteratorNo >= 0 &&
      static_cast<std::size_t>(dc.nIteratorNo) < image.vectors.size()) {
    runs = &image.vectors[static_cast<std::size_t>(dc.nIteratorNo)];
  }
  const auto entry_at = [&](std::int32_t vector, std::size_t i) {
    return image.index_ctrls[static_cast<std::size_t>(vector)].lOffsetIndex +
           static_cast<std::int64_t>(i) * 4;
  };
  Slots slots(dc.lFileRecs);
  std::vector<std::pair<std::int64_t, std::size_t>> places;
  std::int64_t used = 0;
  std::int64_t slots_end = 0;
  std::int64_t highest = 0;  // highest record number (+ run) + 1
  std::int64_t shared = 0;
  for (std::size_t i = 0; i < index.size(); ++i) {
    const std::int32_t e = index[i];
    ++stats.entries;
    if (e == -1) continue;
    ++used;
    if (placed) {
      places.push_back({e, i});
      highest = static_cast<std::int64_t>(i) + 1;
      continue;
    }
    std::int64_t run = 1;
    if (runs != nullptr) {
      ++stats.entries;
      run = i < runs->size() ? std::max((*runs)[i], 1) : 1;
      if (e + run > dc.lFileRecs) {
        out.push_back(issue("run-past-count", "iterator entry", subject,
                            entry_at(dc.nIteratorNo, i), e + run, dc.lFileRecs, Stage::kVectors,
                            "the run of records of this record number reaches beyond the "
                            "records the data type counts (lFileRecs)"));
      }
    }
    if (!slots.take(e, run)) {
      ++shared;
      if (shared == 1 || !iterated) {
        out.push_back(issue("slot-shared", "index entry", subject, entry_at(v, i), e, dc.lFileRecs,
                            Stage::kVectors,
                            "two record numbers of the data type name the same slot: a write "
                            "of one overwrites the other"));
      }
    }
    slots_end = std::max(slots_end, e + run);
    highest = std::max(highest, static_cast<std::int64_t>(i) + run);
  }
  if (placed) {
    std::sort(places.begin(), places.end());
    for (std::size_t p = 1; p < places.size(); ++p) {
      if (places[p].first < places[p - 1].first + dc.nDataSize) {
        out.push_back(issue("placed-overlap", "index entry", subject, entry_at(v, places[p].second),
                            places[p].first, places[p - 1].first + dc.nDataSize, Stage::kVectors,
                            "two placed records share bytes: a write of one overwrites the other"));
      }
    }
    if (dc.lFileRecs != used) {
      count_issue(used, "the record count differs from the records the index places");
    }
  } else {
    // Slots are handed out in turn: the count is the end of the last one.
    if (dc.lFileRecs != slots_end && !(iterated && shared > 0)) {
      count_issue(slots_end,
                  "the record count differs from the slots the index maps: slots beyond the "
                  "count are lost, or the count claims slots no record number reaches");
    }
    if (ic.lMaxRecs < slots_end) {
      out.push_back(issue("vector-max", "lMaxRecs", "index vector " + std::to_string(v),
                          image.def.lOffsetIndexCtrl +
                              static_cast<std::int64_t>(v) * sizeof(rb::IndexCtrl) +
                              offsetof(rb::IndexCtrl, lMaxRecs),
                          ic.lMaxRecs, slots_end, Stage::kTables,
                          "the index vector's end of slots is below slots its entries name: "
                          "dbRead refuses those records (-90)"));
    }
  }
  if (max_index != highest) {
    out.push_back(issue("record-max", "lMaxIndex", subject,
                        type_field(image, k, offsetof(rb::DataCtrl, lMaxIndex)), dc.lMaxIndex,
                        highest, Stage::kTables,
                        "the highest record number + 1 (lMaxIndex) differs from the index: "
                        "readers that go by it (export, dbGetDataTypeMaxCount) miss records or "
                        "look for ones never written"));
  }
}

// The section number under which section index s is found, -1 for none.
std::int32_t section_number(const rb::FileLayout& image, std::size_t s) {
  for (std::size_t n = 0; n < image.ind_sections.size(); ++n) {
    if (image.ind_sections[n] == static_cast<std::int32_t>(s)) return static_cast<std::int32_t>(n);
  }
  return -1;
}

bool empty_key_record(const rb::KeyRecord& key) {
  static const rb::KeyRecord zero{};
  rb::KeyRecord initial{};
  std::fill(std::begin(initial.nIndDataCtrl), std::end(initial.nIndDataCtrl), -1);
  std::fill(std::begin(initial.nKey), std::end(initial.nKey), -1);
  return std::memcmp(&key, &zero, sizeof key) == 0 || std::memcmp(&key, &initial, sizeof key) == 0;
}

void check_section(const rb::FileLayout& image, std::int32_t file, std::size_t s,
                   std::vector<Issue>& out, DeepStats& stats) {
  const rb::Section& section = image.sections[s];
  // Only a sound layout is checked: its sections have a key depth of 1 to 4.
  if (section.nHashFstDataCtrlHandle < 0 || !rb::valid_key_depth(section.nKeys)) return;
  const std::int32_t number = section_number(image, s);
  const std::string subject = "section " + std::to_string(number);
  const std::int32_t depth = section.nKeys;
  std::array<std::int32_t, rb::kMaxKeyLevels> largest;
  largest.fill(-1);
  const std::int64_t data_limit = data_end(image.def);
  for (std::int32_t b = 0; b < section.nBuckets; ++b) {
    const std::int32_t d = section.nHashFstDataCtrlHandle + b;
    const rb::DataCtrl& bucket = image.types[static_cast<std::size_t>(d)];
    const std::int64_t base = bucket.lOffsetData;
    std::set<std::array<std::int32_t, rb::kMaxKeyLevels>> seen;
    const auto record_at = [&](std::int32_t n) {
      return base + std::int64_t{n / bucket.lBlockRecs} * bucket.nBlockSize +
             std::int64_t{n % bucket.lBlockRecs} * static_cast<std::int64_t>(sizeof(rb::KeyRecord));
    };
    for (std::int32_t n = 0; n < bucket.lFileRecs; ++n) {
      ++stats.keys;
      rb::KeyRecord key{};
      const std::int32_t r = dbReadKey(file, d, n, &key, sizeof key);
      if (r < 0) {
        Issue i = issue("key-unreadable", "key record", subject, record_at(n), n, bucket.lFileRecs,
                        Stage::kKeys, "the key record cannot be read through the library");
        i.code = r;
        i.function = "dbReadKey";
        out.push_back(i);
        continue;
      }
      std::array<std::int32_t, rb::kMaxKeyLevels> values{};
      for (std::int32_t l = 0; l < depth; ++l) {
        values[static_cast<std::size_t>(l)] = key.nKey[l];
        largest[static_cast<std::size_t>(l)] =
            std::max(largest[static_cast<std::size_t>(l)], key.nKey[l]);
      }
      const std::int32_t hashed = rb::bucket_of(section, key.nKey);
      for (std::int32_t p = 0; p < rb::kSectionPlaces; ++p) {
        const std::int32_t t = key.nIndDataCtrl[p];
        if (t == -1) continue;
        const bool own = t >= 0 && static_cast<std::size_t>(t) < image.types.size() &&
                         image.types[static_cast<std::size_t>(t)].nSectionIndexNo ==
                             static_cast<std::int32_t>(s) &&
                         (image.types[static_cast<std::size_t>(t)].nFlags & rb::kTypeBucket) == 0;
        if (!own) {
          out.push_back(issue("key-place", "nIndDataCtrl", subject, record_at(n) + 4 * p, t,
                              static_cast<std::int64_t>(image.types.size()), Stage::kKeys,
                              "a place of the key names a catalogue entry that is no data type "
                              "of this section: reads of the key's records go astray"));
        }
      }
      if (hashed != b) {
        out.push_back(issue("key-bucket", "nKey", subject, record_at(n) + 40, hashed, b,
                            Stage::kKeys,
                            "the key is stored in a bucket its values do not hash to: look-ups "
                            "search another bucket and never find it, while a scan of the "
                            "buckets (export --section) still lists it"));
        continue;
      }
      if (!seen.insert(values).second) {
        out.push_back(issue("key-duplicate", "nKey", subject, record_at(n) + 40, n, 0, Stage::kKeys,
                            "the key is stored twice in its bucket: look-ups find the first, "
                            "the data types of this one are out of reach"));
        continue;
      }
      std::int32_t lookup[rb::kMaxKeyLevels];
      std::copy(std::begin(key.nKey), std::end(key.nKey), lookup);
      const std::int32_t found = dbExistKey(file, number, lookup);
      if (found != 1) {
        Issue i = issue("key-unreachable", "nKey", subject, record_at(n) + 40, found, 1,
                        Stage::kKeys, "a look-up of the key (dbExistKey) does not find it");
        if (found < 0) {
          i.code = found;
          i.function = "dbExistKey";
        }
        out.push_back(i);
      }
    }
    // Keys appended behind the count are lost to every look-up.
    const std::int64_t slots = std::int64_t{bucket.lBlockRecs} * bucket.lMaxBlockRecs;
    std::int32_t lost = 0;
    for (std::int64_t n = bucket.lFileRecs; n < slots; ++n) {
      const auto rec = static_cast<std::int32_t>(n);
      if (record_at(rec) + static_cast<std::int64_t>(sizeof(rb::KeyRecord)) > data_limit) break;
      rb::KeyRecord key{};
      if (dbReadKey(file, d, rec, &key, sizeof key) < 0 || empty_key_record(key)) break;
      ++lost;
    }
    if (lost > 0) {
      out.push_back(
          issue("bucket-beyond-count", "lFileRecs", subject + " bucket " + std::to_string(b),
                type_field(image, static_cast<std::size_t>(d), offsetof(rb::DataCtrl, lFileRecs)),
                bucket.lFileRecs, bucket.lFileRecs + lost, Stage::kKeys,
                "the bucket holds key records behind its count (lFileRecs): those keys "
                "are lost to look-ups"));
    }
  }
  for (std::int32_t l = 0; l < depth; ++l) {
    if (section.nMaxKeys[l] == largest[static_cast<std::size_t>(l)]) continue;
    out.push_back(issue("key-max", "nMaxKeys", subject,
                        image.def.lOffsetSection +
                            static_cast<std::int64_t>(s * sizeof(rb::Section)) +
                            offsetof(rb::Section, nMaxKeys) + 4 * l,
                        section.nMaxKeys[l], largest[static_cast<std::size_t>(l)], Stage::kKeys,
                        "the largest key value of a level differs from the largest stored: "
                        "dbGetKey enumerates the wrong range and misses keys, or tries values "
                        "no key has"));
  }
}

}  // namespace

void check_areas(const std::string& path, const rb::FileLayout& image, std::vector<Issue>& out,
                 DeepStats& stats) {
  const std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    out.push_back(issue("area-unreadable", "lOffsetData", "the file", -1, 0, 0, Stage::kAreas,
                        "the file cannot be opened to read its data areas"));
    return;
  }
  std::int64_t total = 0;
  for (const rb::DataCtrl& dc : image.types) total += written_area(image.def, dc);
  Progress progress("reading", image.size, total);
  std::vector<char> buffer(static_cast<std::size_t>(kChunk));
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    const std::int64_t area_end = dc.lOffsetData + written_area(image.def, dc);
    for (std::int64_t at = dc.lOffsetData; at < area_end; at += kChunk) {
      const std::int64_t n = std::min(kChunk, area_end - at);
      const bool placed =
          at <= 0x7fffffff && std::fseek(f.get(), static_cast<long>(at), SEEK_SET) == 0;
      const std::size_t got =
          placed ? std::fread(buffer.data(), 1, static_cast<std::size_t>(n), f.get()) : 0;
      stats.bytes += static_cast<std::int64_t>(got);
      progress.update(stats.bytes);
      if (got == static_cast<std::size_t>(n)) continue;
      const bool short_file = placed && std::ferror(f.get()) == 0;
      out.push_back(issue(short_file ? "area-short" : "area-unreadable", "lOffsetData",
                          type_subject(image, k), at + static_cast<std::int64_t>(got),
                          at + static_cast<std::int64_t>(got), area_end, Stage::kAreas,
                          short_file ? "the data area ends beyond the end of the file"
                                     : "a block of the data area cannot be read from the device"));
      std::clearerr(f.get());
      break;
    }
    if (dc.nBlockSize > 0 && area_end > dc.lOffsetData) {
      stats.blocks += (area_end - dc.lOffsetData + dc.nBlockSize - 1) / dc.nBlockSize;
    }
  }
}

void blame_cut_counts(const rb::FileLayout& image, const std::vector<rb::Finding>& findings,
                      std::vector<Issue>& out) {
  std::set<std::int32_t> types;
  for (const rb::Finding& f : findings) {
    if (std::string_view(f.rule) == "index-slot") types.insert(f.entry);
  }
  for (const std::int32_t k : types) {
    if (k < 0 || static_cast<std::size_t>(k) >= image.types.size()) continue;
    const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(k)];
    const std::int32_t v = dc.nIndexNo;
    if ((dc.nFlags & rb::kTypeIterator) != 0 || v < 0 ||
        static_cast<std::size_t>(v) >= image.vectors.size()) {
      continue;
    }
    // Slots 0 .. used - 1, each once: the entries are whole, the count is not.
    std::vector<bool> taken;
    std::int64_t used = 0;
    bool whole = true;
    for (const std::int32_t e : image.vectors[static_cast<std::size_t>(v)]) {
      if (e == -1) continue;
      if (e < 0 || e >= area_slots(dc)) {
        whole = false;
        break;
      }
      if (static_cast<std::size_t>(e) >= taken.size())
        taken.resize(static_cast<std::size_t>(e) + 1);
      whole = whole && !taken[static_cast<std::size_t>(e)];
      taken[static_cast<std::size_t>(e)] = true;
      ++used;
    }
    if (!whole || used != static_cast<std::int64_t>(taken.size()) || used <= dc.lFileRecs) continue;
    Issue i =
        issue("record-count", "lFileRecs", type_subject(image, static_cast<std::size_t>(k)),
              type_field(image, static_cast<std::size_t>(k), offsetof(rb::DataCtrl, lFileRecs)),
              dc.lFileRecs, used, Stage::kTables,
              "the record count is below the slots the index maps, each once: the count "
              "was cut, and the index entries beyond it follow from that");
    i.code = DB_ERR_INCOMPLETE_FILE;
    out.push_back(i);
  }
}

void check_vectors(const rb::FileLayout& image, std::vector<Issue>& out, DeepStats& stats) {
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    if ((image.types[k].nFlags & rb::kTypeBucket) != 0) continue;
    check_type(image, k, out, stats);
  }
}

void check_keys(const rb::FileLayout& image, std::int32_t file, std::vector<Issue>& out,
                DeepStats& stats) {
  for (std::size_t s = 0; s < image.sections.size(); ++s) check_section(image, file, s, out, stats);
}

}  // namespace rbtool
