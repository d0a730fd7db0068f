// Every exported function as a row of a table: its hostile arguments by
// kind, the plain results the header documents for them, and a call.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "recbase.h"

namespace apitable {

using Args = std::array<std::int32_t, 5>;
using Values = std::vector<std::int32_t>;
using Call = std::function<std::int32_t(std::int32_t file, const Args& a, bool null)>;
using Plain = bool (*)(std::int32_t);

// Non-negative results the header documents for refused or meaningless
// input; everything else must be a negative code.
inline bool none(std::int32_t) { return false; }
inline bool any(std::int32_t) { return true; }
inline bool zero(std::int32_t r) { return r == 0; }
inline bool zero_one(std::int32_t r) { return r == 0 || r == 1; }

// Hostile values by the kind of argument.
inline const Values kRec = {-1, INT_MIN, INT_MAX, INT_MAX - 1};
inline const Values kSub = {-1, INT_MIN, INT_MAX};
inline const Values kType = {INT_MIN, INT_MAX, -1000, 1 << 30, 4000};
inline const Values kLen = {-1, INT_MIN, INT_MAX, 0};
inline const Values kOffset = {-1, INT_MIN, INT_MAX, INT_MAX - 1};
inline const Values kIndex = {-1, INT_MIN, INT_MAX, 1000};
inline const Values kSectionNo = {-1, INT_MIN, INT_MAX, INT_MAX - 5, 1 << 29};
inline const Values kPlace = {-1, 10, INT_MIN, INT_MAX};
inline const Values kFlags = {-1, INT_MIN, INT_MAX};
inline const Values kCount = {0, -1, INT_MIN, INT_MAX};
// Description fields that every declaration must refuse.
inline const Values kDescType = {-1, INT_MIN, INT_MAX, INT_MAX - 20, 1 << 30};
inline const Values kDescFlags = {-1, DTF_BUCKET, DTF_PLACED, DTF_ITERATOR,
                                  DTF_INDEX | DTF_PLACED | DTF_ITERATOR};
inline const Values kDescSize = {0, -1, INT_MIN};
inline const Values kDescBlock = {-1, 0, INT_MIN};

struct Row {
  const char* name;
  bool file;                   // the first argument is a file number
  Args base;                   // the other numbers, before one is made hostile
  std::vector<Values> values;  // hostile values of each of those numbers
  bool pointers;               // takes pointers that may be null
  Plain plain;
  Call call;
  bool lifecycle = false;  // ends the library or its files: not on the open database
};

inline char g_buffer[8192];
inline std::array<std::int32_t, 4> g_keys;
inline const std::string kType1Rec0 = hardkit::pattern(1, 0, 0, 10);
inline const std::string kPlace1Rec0 = hardkit::pattern(104, 0, 0, 8);

inline void* buf(bool null) { return null ? nullptr : g_buffer; }
inline std::int32_t* keys(bool null, hardkit::Key key = hardkit::kFirstKey) {
  g_keys = key;
  return null ? nullptr : g_keys.data();
}
inline const void* same(const std::string& bytes, bool null) {
  return null ? nullptr : bytes.data();
}
inline DataDesc described(const Args& a) { return DataDesc{a[0], a[1], a[2], a[3], 0}; }
// Enough descriptions for any small count a caller may name.
inline const DataDesc* descriptions() {
  static const auto table = [] {
    std::array<DataDesc, 16> d{};
    for (std::int32_t i = 0; i < 16; ++i) d[static_cast<std::size_t>(i)] = {20 + i, 0, 4, 8, 1};
    return d;
  }();
  return table.data();
}
inline const char* named(const char* name, bool null) { return null ? nullptr : name; }

// Setters store their value until the row puts the old one back.
inline Row setter(const char* name, std::int32_t (*set)(std::int32_t)) {
  return {name, false, {}, {kFlags}, false, any, [set](std::int32_t, const Args& a, bool) {
            const std::int32_t old = set(a[0]);
            if (old >= 0) set(old);
            return old;
          }};
}
inline Row getter(const char* name, std::int32_t (*get)()) {
  return {
      name, false, {}, {}, false, any, [get](std::int32_t, const Args&, bool) { return get(); }};
}
inline Row on_file(const char* name, std::int32_t (*fn)(std::int32_t), Plain plain = none) {
  return {
      name, true, {}, {}, false, plain, [fn](std::int32_t f, const Args&, bool) {
            return fn(f); }};
}

inline std::vector<Row> frame_rows() {
  return {
      {"dbInit",
       false,
       {0, 0},
       {kCount, kCount},
       false,
       none,
       [](std::int32_t, const Args& a, bool) { return dbInit(a[0], a[1]); }},
      {"dbExit",
       false,
       {},
       {},
       false,
       any,
       [](std::int32_t, const Args&, bool) { return dbExit(); },
       true},
      setter("dbSetMaxDataType", dbSetMaxDataType),
      setter("dbSetMaxSection", dbSetMaxSection),
      setter("dbSetBucketBlock", dbSetBucketBlock),
      setter("dbSetBucket", dbSetBucket),
      setter("dbSetBucketMsk", dbSetBucketMsk),
      getter("dbGetMaxDataType", dbGetMaxDataType),
      getter("dbGetMaxSection", dbGetMaxSection),
      getter("dbGetBucketBlock", dbGetBucketBlock),
      getter("dbGetBucket", dbGetBucket),
      getter("dbGetBucketMsk", dbGetBucketMsk),
      getter("dbGetLastError", dbGetLastError),
      getter("dbGetErrorCount", dbGetErrorCount),
      {"dbGetLibVersion",
       false,
       {},
       {},
       false,
       zero,
       [](std::int32_t, const Args&, bool) { return dbGetLibVersion() != nullptr ? 0 : -1; }},
      {"dbSetError",
       false,
       {},
       {kFlags},
       false,
       any,
       [](std::int32_t, const Args& a, bool) { return dbSetError(a[0]); }},
      {"dbSetWarnung",
       false,
       {},
       {kFlags},
       false,
       any,
       [](std::int32_t, const Args& a, bool) { return dbSetWarnung(a[0]); }},
  };
}

inline std::vector<Row> file_rows() {
  return {
      on_file("dbWriteFileDef", dbWriteFileDef),
      on_file("dbReadFileDef", dbReadFileDef),
      on_file("dbWriteDataCtrl", dbWriteDataCtrl),
      on_file("dbReadDataCtrl", dbReadDataCtrl),
      on_file("dbWriteIndexCtrl", dbWriteIndexCtrl),
      on_file("dbReadIndexCtrl", dbReadIndexCtrl),
      on_file("dbWriteDataIndex", dbWriteDataIndex),
      on_file("dbReadDataIndex", dbReadDataIndex),
      on_file("dbWriteSections", dbWriteSections),
      on_file("dbReadSections", dbReadSections),
      on_file("dbWriteIndDataTypes", dbWriteIndDataTypes),
      on_file("dbReadIndDataTypes", dbReadIndDataTypes),
      on_file("dbWriteIndSections", dbWriteIndSections),
      on_file("dbReadIndSections", dbReadIndSections),
      // Filling up to INT_MAX is legal (and 2 GiB long): not tried here.
      {"dbFillUpTo",
       true,
       {0},
       {{-1, INT_MIN, 0}},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbFillUpTo(f, a[0]); }},
      {"dbCopyToFile",
       true,
       {4096, 64},
       {kOffset, kLen},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) { return dbCopyToFile(f, a[0], buf(n), a[1]); }},
      {"dbCopyFromFile",
       true,
       {4096, 64},
       {kOffset, kLen},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) { return dbCopyFromFile(f, a[0], buf(n), a[1]); }},
      {"dbCreate",
       false,
       {1, 1, DB_MODE_WRITE},
       {kCount, kCount, kFlags},
       true,
       any,
       [](std::int32_t, const Args& a, bool n) {
         const std::int32_t r =
             dbCreate(named("hostile_new.db", n), a[0], n ? nullptr : descriptions(), a[1], a[2]);
         if (r >= 0) dbClose(r);
         return r;
       }},
      {"dbOpen",
       false,
       {0},
       {kFlags},
       true,
       none,
       [](std::int32_t, const Args& a, bool n) {
         return dbOpen(named("hostile_missing.db", n), a[0]);
       }},
      {"dbClose",
       true,
       {},
       {},
       false,
       zero,
       [](std::int32_t f, const Args&, bool) { return dbClose(f); },
       true},
      {"dbCloseAll",
       false,
       {},
       {},
       false,
       zero,
       [](std::int32_t, const Args&, bool) { return dbCloseAll(); },
       true},
      on_file("dbFlush", dbFlush),
      on_file("dbReset", dbReset, any),
      {"dbExpandFile",
       true,
       {INT_MAX - 10, 1},
       {kOffset, kLen},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbExpandFile(f, a[0], a[1]); }},
      {"dbShiftOffsets",
       true,
       {INT_MAX - 10, 1},
       {kOffset, kLen},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbShiftOffsets(f, a[0], a[1]); }},
  };
}

inline std::vector<Row> record_rows() {
  return {
      {"dbAddIndexVector",
       true,
       {10, 1, 0},
       {kLen, kFlags, kFlags},
       false,
       any,
       [](std::int32_t f, const Args& a, bool) { return dbAddIndexVector(f, a[0], a[1], a[2]); }},
      on_file("dbExpandIndexVectors", dbExpandIndexVectors, any),
      {"dbExpandIndex",
       true,
       {0, 0},
       {kIndex, kRec},
       false,
       any,
       [](std::int32_t f, const Args& a, bool) { return dbExpandIndex(f, a[0], a[1]); }},
      {"dbSetDataCtrl",
       true,
       {1},
       {kCount},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbSetDataCtrl(f, a[0], n ? nullptr : descriptions());
       }},
      {"dbAddDataCtrl",
       true,
       {7, 0, 10, 100},
       {kDescType, kDescFlags, kDescSize, kDescBlock},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) {
         const DataDesc d = described(a);
         return dbAddDataCtrl(f, n ? nullptr : &d);
       }},
      on_file("dbExpandDataCtrl", dbExpandDataCtrl, any),
      {"dbExpandIndDataTypes",
       true,
       {5},
       {{-1, INT_MIN, INT_MAX, 1 << 29}},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbExpandIndDataTypes(f, a[0]); }},
      {"dbBeginData",
       true,
       {7, 0, 10, 100},
       {kDescType, kDescFlags, kDescSize, kDescBlock},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) {
         const DataDesc d = described(a);
         return dbBeginData(f, n ? nullptr : &d);
       }},
      on_file("dbEndData", dbEndData),
      on_file("dbGetFirstDataType", dbGetFirstDataType, any),
      on_file("dbGetNextDataType", dbGetNextDataType, any),
      {"dbExistDataType",
       true,
       {1},
       {kType},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbExistDataType(f, a[0]); }},
      {"dbGetDataTypeSize",
       true,
       {1},
       {kType},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbGetDataTypeSize(f, a[0]); }},
      {"dbGetDataTypeMaxCount",
       true,
       {1},
       {kType},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbGetDataTypeMaxCount(f, a[0]); }},
      {"dbGetDataTypeMaxCountS",
       true,
       {1, 0},
       {kSectionNo, kPlace},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbGetDataTypeMaxCountS(f, a[0], a[1]); }},
      {"dbGetDataTypeRecs",
       true,
       {1, 0},
       {kType, kRec},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbGetDataTypeRecs(f, a[0], a[1]); }},
      {"dbGetIndex",
       true,
       {-1, 1, 0},
       {{INT_MIN, INT_MAX, -2, 4000}, kType, kRec},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbGetIndex(f, a[0], a[1], a[2]); }},
      {"dbGetCashPtr",
       true,
       {4096, 100},
       {kOffset, kLen},
       true,
       any,
       [](std::int32_t f, const Args& a, bool n) {
         std::int32_t flags = 0;
         return dbGetCashPtr(f, a[0], a[1], n ? nullptr : &flags) != nullptr ? 0 : -1;
       }},
      {"dbRead",
       true,
       {1, 0, 0, 64},
       {kType, kRec, kSub, kLen},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbRead(f, a[0], a[1], a[2], buf(n), a[3]);
       }},
      // Writes put back what the record holds: a write that is legal after
      // all (a sub-index a plain type ignores) changes nothing.
      {"dbWrite",
       true,
       {1, 0, 0},
       {kType, kRec, kSub},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbWrite(f, a[0], a[1], a[2], same(kType1Rec0, n));
       }},
      {"dbReadKey",
       true,
       {0, 0, 64},
       {kIndex, kRec, kLen},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbReadKey(f, a[0], a[1], buf(n), a[2]);
       }},
      {"dbWriteKey",
       true,
       {0, 0, 10},
       {kIndex, kRec, kLen},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbWriteKey(f, a[0], a[1], same(kType1Rec0, n), a[2]);
       }},
  };
}

inline std::vector<Row> section_rows() {
  const hardkit::Key fresh = {100, 200, -1, -1};
  return {
      {"dbAddSection",
       true,
       {7, 0},
       {kSectionNo, kFlags},
       false,
       any,
       [](std::int32_t f, const Args& a, bool) { return dbAddSection(f, a[0], a[1]); }},
      on_file("dbExpandSections", dbExpandSections, any),
      {"dbExpandIndSections",
       true,
       {5},
       {kSectionNo},
       false,
       any,
       [](std::int32_t f, const Args& a, bool) { return dbExpandIndSections(f, a[0]); }},
      {"dbAddHashBucket",
       true,
       {0},
       {kIndex},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbAddHashBucket(f, a[0]); }},
      {"dbAddKey",
       true,
       {0},
       {kIndex},
       true,
       none,
       [fresh](std::int32_t f, const Args& a, bool n) {
         return dbAddKey(f, a[0], keys(n, fresh));
       }},
      {"dbExistKey",
       true,
       {1},
       {kSectionNo},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) { return dbExistKey(f, a[0], keys(n)); }},
      {"dbSetSection",
       true,
       {1},
       {kSectionNo},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) { return dbSetSection(f, a[0], keys(n)); }},
      {"dbGetMaxKey",
       true,
       {1},
       {kSectionNo},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) { return dbGetMaxKey(f, a[0], keys(n)); }},
      {"dbGetKey",
       true,
       {1, 0},
       {kSectionNo, kFlags},
       true,
       zero_one,
       [](std::int32_t f, const Args& a, bool n) {
         return dbGetKey(f, a[0], a[1], keys(n, {0, 0, -1, -1}));
       }},
      {"dbGetSection",
       true,
       {},
       {},
       true,
       zero,
       [](std::int32_t f, const Args&, bool n) {
         std::int32_t no = 0;
         return dbGetSection(f, n ? nullptr : &no, keys(n));
       }},
      {"dbReadS",
       true,
       {0, 0, 0, 64, 1},
       {kPlace, kRec, kSub, kLen, kSectionNo},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbReadS(f, a[0], a[1], a[2], buf(n), a[3], a[4]);
       }},
      {"dbWriteS",
       true,
       {1, 0, 0, 8, 1},
       {kPlace, kRec, kSub, kLen, kSectionNo},
       true,
       zero,
       [](std::int32_t f, const Args& a, bool n) {
         return dbWriteS(f, a[0], a[1], a[2], same(kPlace1Rec0, n), a[3], a[4]);
       }},
      {"dbAddDataCtrlS",
       true,
       {2, 0, 8, 32, 1},
       {kPlace, kDescFlags, kDescSize, kDescBlock, kSectionNo},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) {
         const DataDesc d = described(a);
         return dbAddDataCtrlS(f, n ? nullptr : &d, a[4]);
       }},
      {"dbBeginDataS",
       true,
       {2, 0, 8, 32, 1},
       {kPlace, kDescFlags, kDescSize, kDescBlock, kSectionNo},
       true,
       none,
       [](std::int32_t f, const Args& a, bool n) {
         const DataDesc d = described(a);
         return dbBeginDataS(f, n ? nullptr : &d, a[4]);
       }},
      on_file("dbEndDataS", dbEndDataS),
      {"dbBeginSections",
       true,
       {9, 2, 0},
       {kSectionNo, {0, 5, -1, INT_MIN, INT_MAX}, kFlags},
       false,
       any,
       [](std::int32_t f, const Args& a, bool) { return dbBeginSections(f, a[0], a[1], a[2]); }},
      {"dbEndSections",
       true,
       {0},
       {kIndex},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbEndSections(f, a[0]); }},
      {"dbBeginSection",
       true,
       {1},
       {kSectionNo},
       true,
       none,
       [fresh](std::int32_t f, const Args& a, bool n) {
         return dbBeginSection(f, a[0], keys(n, fresh));
       }},
      {"dbEndSection",
       true,
       {0},
       {kIndex},
       false,
       none,
       [](std::int32_t f, const Args& a, bool) { return dbEndSection(f, a[0]); }},
  };
}

inline std::vector<Row> dump_rows() {
  return {
      {"dbDumpSysData",
       false,
       {},
       {},
       false,
       zero,
       [](std::int32_t, const Args&, bool) { return dbDumpSysData(); }},
      on_file("dbDumpFileDef", dbDumpFileDef, zero),
      {"dbDumpDataCtrl",
       true,
       {0, 0},
       {kIndex, kFlags},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbDumpDataCtrl(f, a[0], a[1]); }},
      on_file("dbDumpAllDataCtrl", dbDumpAllDataCtrl, zero),
      {"dbDumpDataIndex",
       true,
       {2, 3},
       {kType, kFlags},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbDumpDataIndex(f, a[0], a[1]); }},
      on_file("dbDumpIndDataTypes", dbDumpIndDataTypes, zero),
      on_file("dbDumpIndSections", dbDumpIndSections, zero),
      {"dbDumpSection",
       true,
       {0, 0},
       {kIndex, kFlags},
       false,
       zero,
       [](std::int32_t f, const Args& a, bool) { return dbDumpSection(f, a[0], a[1]); }},
      {"dbDumpSectionKeys",
       true,
       {0, 0},
       {kIndex, kFlags},
       false,
       zero_one,
       [](std::int32_t f, const Args& a, bool) { return dbDumpSectionKeys(f, a[0], a[1]); }},
      {"dbDumpCashCtrl",
       false,
       {},
       {},
       false,
       zero,
       [](std::int32_t, const Args&, bool) { return dbDumpCashCtrl(); }},
      {"dumpIOCtrl",
       false,
       {0, 0},
       {kOffset, kLen},
       true,
       zero,
       [](std::int32_t, const Args& a, bool n) { return dumpIOCtrl(a[0], a[1], named("x", n)); }},
  };
}

inline std::vector<Row> all_rows() {
  std::vector<Row> rows;
  for (auto part : {frame_rows, file_rows, record_rows, section_rows, dump_rows}) {
    for (Row& r : part()) rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace apitable
