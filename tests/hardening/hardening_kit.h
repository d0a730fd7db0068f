// A database with a bit of everything, and a model of what it must hold:
// a plain, an indexed, an iterator and a placed data type (the plain one
// grown in the middle of the file), a section of two-level keys whose keys
// own data types of their own. The hardening tests build it, attack it and
// then check that every record still reads back byte for byte.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "recbase.h"

namespace hardkit {

using Key = std::array<std::int32_t, 4>;

inline constexpr std::int32_t kSectionNo = 1;
inline constexpr Key kFirstKey = {1, 2, -1, -1};
inline constexpr Key kSecondKey = {3, 4, -1, -1};

// One record the database must hold: a data type record (section < 0) or a
// record of the data type at `type` (a place) of a key of the section.
struct Stored {
  std::int32_t section;
  Key key;
  std::int32_t type;
  std::int32_t rec;
  std::int32_t sub;
  std::string bytes;
};

// The content of a record: distinct for every type, record and sub-index.
inline std::string pattern(std::int32_t type, std::int32_t rec, std::int32_t sub,
                           std::int32_t size) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (std::int32_t i = 0; i < size; ++i) {
    bytes[static_cast<std::size_t>(i)] =
        static_cast<char>((type * 53 + rec * 11 + sub * 5 + i * 7 + 1) & 0xff);
  }
  return bytes;
}

namespace detail {

// Plain types: number, flags, record length, block length, records.
inline const DataDesc kTypes[] = {
    {1, 0, 10, 100, 20},
    {2, DTF_INDEX, 8, 64, 10},
    {3, DTF_INDEX | DTF_ITERATOR, 6, 60, 30},
    {4, DTF_INDEX | DTF_PLACED, 12, 12, 0},
};

struct Builder {
  std::int32_t file;
  std::vector<Stored>& model;

  std::int32_t write(std::int32_t type, std::int32_t size, std::int32_t rec, std::int32_t sub) {
    const std::string bytes = pattern(type, rec, sub, size);
    const std::int32_t r = dbWrite(file, type, rec, sub, bytes.data());
    if (r == 0) model.push_back(Stored{-1, {}, type, rec, sub, bytes});
    return r;
  }

  std::int32_t write_s(const Key& key, std::int32_t place, std::int32_t size, std::int32_t rec) {
    const std::string bytes = pattern(100 + place + key[0], rec, 0, size);
    const std::int32_t r = dbWriteS(file, place, rec, 0, bytes.data(), size, kSectionNo);
    if (r == 0) model.push_back(Stored{kSectionNo, key, place, rec, 0, bytes});
    return r;
  }
};

#define HARDKIT_TRY(expr)           \
  do {                              \
    const std::int32_t r_ = (expr); \
    if (r_ < 0) return r_;          \
  } while (false)

inline std::int32_t build_records(Builder& b) {
  for (std::int32_t rec = 0; rec < 25; ++rec) HARDKIT_TRY(b.write(1, 10, rec, 0));  // grows
  for (std::int32_t rec : {7, 3, 12, 50}) HARDKIT_TRY(b.write(2, 8, rec, 0));
  for (std::int32_t sub = 0; sub < 3; ++sub) HARDKIT_TRY(b.write(3, 6, 5, sub));
  HARDKIT_TRY(b.write(3, 6, 9, 0));
  for (std::int32_t rec : {0, 1, 150}) HARDKIT_TRY(b.write(4, 12, rec, 0));
  return 0;
}

inline std::int32_t build_section(Builder& b) {
  const std::int32_t s = dbBeginSections(b.file, kSectionNo, 2, 0);
  HARDKIT_TRY(s);
  Key first = kFirstKey;
  HARDKIT_TRY(dbBeginSection(b.file, kSectionNo, first.data()));
  const DataDesc place0{0, 0, 16, 64, 0};
  HARDKIT_TRY(dbBeginData(b.file, &place0));
  for (std::int32_t rec = 0; rec < 6; ++rec) HARDKIT_TRY(b.write_s(kFirstKey, 0, 16, rec));
  HARDKIT_TRY(dbEndData(b.file));
  HARDKIT_TRY(dbEndSection(b.file, s));
  Key second = kSecondKey;
  HARDKIT_TRY(dbBeginSection(b.file, kSectionNo, second.data()));
  const DataDesc place1{1, DTF_INDEX, 8, 32, 0};
  HARDKIT_TRY(dbAddDataCtrlS(b.file, &place1, kSectionNo));
  for (std::int32_t rec = 0; rec < 4; ++rec) HARDKIT_TRY(b.write_s(kSecondKey, 1, 8, rec));
  HARDKIT_TRY(dbEndSection(b.file, s));
  HARDKIT_TRY(dbEndSections(b.file, s));
  return 0;
}

#undef HARDKIT_TRY

}  // namespace detail

// Builds the database in a new file under file number `file_no` (the
// lowest free slot). Each step stops at the first failure and returns its
// code; 0 when everything was built. `model` receives the records written.
inline std::int32_t build(const char* name, std::int32_t& file_no, std::vector<Stored>& model) {
  model.clear();
  file_no = dbCreate(name, 4, detail::kTypes, 2, DB_MODE_WRITE);
  if (file_no < 0) return file_no;
  detail::Builder b{file_no, model};
  if (const std::int32_t r = detail::build_records(b); r < 0) return r;
  return detail::build_section(b);
}

// Reads every record of the model back: empty when all match, else a
// description of the first mismatch.
inline std::string verify(std::int32_t file_no, const std::vector<Stored>& model) {
  for (const Stored& s : model) {
    std::string got(s.bytes.size() + 8, '\x5a');
    std::int32_t r = 0;
    if (s.section < 0) {
      r = dbRead(file_no, s.type, s.rec, s.sub, got.data(), static_cast<std::int32_t>(got.size()));
    } else {
      Key key = s.key;
      r = dbSetSection(file_no, s.section, key.data());
      if (r != 1) return "key " + std::to_string(key[0]) + " not found: " + std::to_string(r);
      r = dbReadS(file_no, s.type, s.rec, s.sub, got.data(), static_cast<std::int32_t>(got.size()),
                  s.section);
    }
    const std::string where = (s.section < 0 ? "type " : "place ") + std::to_string(s.type) +
                              " record " + std::to_string(s.rec) + "/" + std::to_string(s.sub);
    if (r != 0) return where + " read " + std::to_string(r);
    if (got.compare(0, s.bytes.size(), s.bytes) != 0) return where + " differs";
    if (got.find_first_not_of('\x5a', s.bytes.size()) != std::string::npos) {
      return where + " overran the buffer";
    }
  }
  return "";
}

// Records of a key's data types that observe() reads: the section's data
// types have no count a host can ask for.
inline constexpr std::int32_t kObservedSectionRecs = 8;

// Everything a host can learn of the file `name` opened in `mode`, as text:
// count, size and every record of each declared data type, and each key of
// the section with the results of reading records 0 .. 7 of its types at
// places 0 and 1. Records that a slot maps to none are noted as such,
// without a read. The file is
// closed again (for a writer: a commit of the same state). "refused <code>"
// when it does not open.
inline std::string observe(const char* name, std::int32_t mode = 0) {
  const std::int32_t f = dbOpen(name, mode);
  if (f < 0) return "refused " + std::to_string(f);
  std::string out;
  char buffer[256];
  const auto note_read = [&](std::int32_t r, std::int32_t size) {
    out += " " + std::to_string(r) + ":";
    if (r == 0) out.append(buffer, static_cast<std::size_t>(size));
  };
  for (std::int32_t type = dbGetFirstDataType(f); type >= 0; type = dbGetNextDataType(f)) {
    const std::int32_t count = dbGetDataTypeMaxCount(f, type);
    const std::int32_t size = dbGetDataTypeSize(f, type);
    out +=
        "\ntype " + std::to_string(type) + " " + std::to_string(count) + "/" + std::to_string(size);
    for (std::int32_t rec = 0; rec < count && size > 0 && size <= 256; ++rec) {
      if (dbGetIndex(f, -1, type, rec) < 0) {
        out += " -";
        continue;
      }
      const std::int32_t subs = dbGetDataTypeRecs(f, type, rec);
      out += " " + std::to_string(subs);
      for (std::int32_t sub = 0; sub < std::max(subs, 1); ++sub) {
        note_read(dbRead(f, type, rec, sub, buffer, sizeof buffer), size);
      }
    }
  }
  Key key{};
  for (std::int32_t m = 0; dbGetKey(f, kSectionNo, m, key.data()) == 1; m = 1) {
    out += "\nkey " + std::to_string(key[0]) + "," + std::to_string(key[1]);
    for (std::int32_t place = 0; place < 2; ++place) {
      out += " place " + std::to_string(place) + ":";
      for (std::int32_t rec = 0; rec < kObservedSectionRecs; ++rec) {
        std::memset(buffer, 0x5a, 32);
        const std::int32_t r = dbReadS(f, place, rec, 0, buffer, sizeof buffer, kSectionNo);
        note_read(r, 32);
        if (r == -50) break;  // no data type at the place
      }
    }
  }
  dbClose(f);
  return out;
}

}  // namespace hardkit
