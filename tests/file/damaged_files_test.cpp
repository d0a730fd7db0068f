// Files damaged where the open checks cannot look, or in ways that once
// crashed or stalled the library: every damage ends in a negative code (or
// is stepped around), and a file written back after it opens again.
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "file/validate.h"

#include "support/stored.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::put_word;
using rbtest::read_file;
using rbtest::stored;
using rbtest::stored_def;
using rbtest::write_file;

constexpr const char* kGood = "damaged_good.db";
constexpr const char* kBad = "damaged_bad.db";
constexpr std::int32_t kSectionNo = 1;
constexpr std::int32_t kType = 1;

class DamagedFileTest : public rbtest::LibraryTest {
 protected:
  // Type 1 (indexed, 24-byte records, 5 to a block) with records 0..3, and
  // section 1 with the keys (0,0), (3,1) and (1,2) in four buckets: (0,0)
  // and (3,1) in bucket 0, (1,2) in bucket 3.
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    dbSetBucketBlock(256);
    dbSetBucket(4);
    dbSetBucketMsk(3);
    const DataDesc d = desc(kType, DTF_INDEX, 24, 128, 4);
    ASSERT_EQ(dbCreate(kGood, 1, &d, 1, DB_MODE_WRITE), 0);
    const char record[24] = "record";
    for (std::int32_t r = 0; r < 4; ++r) ASSERT_EQ(dbWrite(0, kType, r, 0, record), 0);
    const std::int32_t s = dbBeginSections(0, kSectionNo, 2, 0);
    ASSERT_EQ(s, 0);
    for (std::vector<std::int32_t> k : {std::vector{0, 0}, {3, 1}, {1, 2}}) {
      std::int32_t keys[4] = {k[0], k[1], 0, 0};
      ASSERT_EQ(dbBeginSection(0, kSectionNo, keys), s);
      ASSERT_EQ(dbEndSection(0, s), s);
    }
    ASSERT_EQ(dbEndSections(0, s), s);
    ASSERT_EQ(dbClose(0), 4096);
    good = read_file(kGood);
    def = stored_def(good);
  }

  std::size_t data_ctrl_at(std::int32_t k) const { return def.lOffsetDataCtrl + 64 * k; }
  std::int32_t bucket_ctrl(std::int32_t b) const {
    return stored<rb::Section>(good, def.lOffsetSection).nHashFstDataCtrlHandle + b;
  }
  // Byte offset of key record n of bucket b (all lie in the first block).
  std::size_t key_record_at(std::int32_t b, std::int32_t n) const {
    return stored<rb::DataCtrl>(good, data_ctrl_at(bucket_ctrl(b))).lOffsetData + 60 * n;
  }
  std::string patched(std::vector<std::pair<std::size_t, std::int32_t>> words) const {
    std::string bytes = good;
    for (const auto& [offset, value] : words) put_word(bytes, offset, value);
    return bytes;
  }

  std::string good;
  rb::FileDef def{};
};

// Counts, slots and key counts that reach past the records written: each
// would send a key scan or dump through millions of records, or make the
// next write of a record grow the file by up to 2 GB. Table counts whose
// length in bytes passes 2^31 - 1, chosen so that the length taken in 32
// bits would wrap to the length stored: refused, and never computed with an
// overflow (the sanitizer builds would stop).
TEST_F(DamagedFileTest, DamagedDescriptorsAreRefused) {
  const std::size_t bucket = data_ctrl_at(bucket_ctrl(0));
  const auto dc = stored<rb::DataCtrl>(good, bucket);
  const std::size_t type = data_ctrl_at(0);
  const std::size_t ic_at = def.lOffsetIndexCtrl + 20 * stored<rb::DataCtrl>(good, type).nIndexNo;
  const auto ic = stored<rb::IndexCtrl>(good, ic_at);
  const std::int32_t blocks = 1 << 20;
  const std::int32_t types = def.nDataTypes + (1 << 26);     // 64-byte DataCtrl
  const std::int32_t vectors = def.nIndexCtrls + (1 << 30);  // 20-byte IndexCtrl
  const std::int32_t sections = def.nSections + (1 << 30);   // 124-byte Section
  const auto area = stored<rb::DataCtrl>(good, type);
  std::string foreign = good;
  foreign[4] = 'X';  // "TOVEX"
  struct Damage {
    const char* what;
    std::string bytes;
    std::int32_t code = -100;
  };
  const Damage cases[] = {
      {"foreign format", foreign, -101},
      {"longer DataCtrl records", patched({{offsetof(rb::FileDef, nDataCtrlSize), 65}}), -101},
      {"DataCtrl table over the IndexCtrl table",
       patched({{offsetof(rb::FileDef, lOffsetDataCtrl), def.lOffsetIndexCtrl}})},
      {"Section table over the DataCtrl table",
       patched({{offsetof(rb::FileDef, lOffsetSection), def.lOffsetDataCtrl}})},
      {"area beginning a byte inside the one before",
       patched({{data_ctrl_at(1) + offsetof(rb::DataCtrl, lOffsetData),
                 area.lOffsetData + area.lLenData - 1}})},
      {"fewer records to a block than fit",
       patched({{type + offsetof(rb::DataCtrl, lBlockRecs), 4}})},
      {"one record past the area", patched({{type + offsetof(rb::DataCtrl, lFileRecs),
                                             area.lMaxBlockRecs * area.lBlockRecs + 1}})},
      {"index vector owned by another type",
       patched({{ic_at + offsetof(rb::IndexCtrl, nOwnerNo), 1}})},
      {"slot of the record after the last", patched({{ic.lOffsetIndex + 4 * 3, 4}})},
      {"open data input past the catalogue",
       patched({{offsetof(rb::FileDef, nDataCtrlOpen), def.nDataTypes}})},
      {"IndDataTypes room beyond the file",
       patched({{offsetof(rb::FileDef, nIndDataTypesX),
                 static_cast<std::int32_t>(good.size() / 4) + 1}})},
      {"keys ending past the data boundary",
       patched({{offsetof(rb::FileDef, lOffsetVectors), def.lOffsetVectors - 128}})},
      {"more keys than the bucket holds",
       patched({{bucket + offsetof(rb::DataCtrl, lFileRecs), 67108868}})},
      {"keys beyond the file",
       patched({{bucket + offsetof(rb::DataCtrl, lMaxBlockRecs), blocks},
                {bucket + offsetof(rb::DataCtrl, lLenData), blocks * dc.nBlockSize},
                {bucket + offsetof(rb::DataCtrl, lFileRecs), blocks * dc.lBlockRecs}})},
      {"records beyond the file", patched({{type + offsetof(rb::DataCtrl, lFileRecs), 1000}})},
      // The last record of a block would lie across its end.
      {"more records to a block than it holds",
       patched({{type + offsetof(rb::DataCtrl, lBlockRecs), 6}})},
      {"slot beyond the records", patched({{ic.lOffsetIndex + 4 * 3, 1 << 24}})},
      // The next area would begin there, in the header block.
      {"area in the header block",
       patched({{data_ctrl_at(def.nDataTypes - 1) + offsetof(rb::DataCtrl, lOffsetData), 0}})},
      {"five key levels", patched({{def.lOffsetSection + offsetof(rb::Section, nKeys), 5}})},
      {"2^26 more data types", patched({{offsetof(rb::FileDef, nDataTypes), types},
                                        {offsetof(rb::FileDef, nDataTypesX), types}})},
      {"2^30 more index vectors", patched({{offsetof(rb::FileDef, nIndexCtrls), vectors},
                                           {offsetof(rb::FileDef, nIndexCtrlsX), vectors},
                                           {offsetof(rb::FileDef, nIndexVectors), vectors},
                                           {offsetof(rb::FileDef, nIndexVectorsX), vectors}})},
      {"2^30 more sections", patched({{offsetof(rb::FileDef, nSections), sections},
                                      {offsetof(rb::FileDef, nSectionsX), sections}})},
  };
  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(kBad, c.bytes);
    for (std::int32_t mode : {0, DB_MODE_WRITE}) EXPECT_EQ(dbOpen(kBad, mode), c.code);
  }
  EXPECT_EQ(dbOpen(kGood, 0), 0);
}

// Records dropped unwritten by dbReset are still counted: the close makes
// the file reach past them, so that it opens again.
TEST_F(DamagedFileTest, RecordsDroppedBeforeTheCloseReadAsZeros) {
  // The last of 25 reserved blocks, in the cache only.
  const DataDesc reserved = desc(3, 0, 100, 4096, 1000);
  ASSERT_EQ(dbCreate(kBad, 1, &reserved, 0, DB_MODE_WRITE), 0);
  const char record[100] = "dropped";
  ASSERT_EQ(dbWrite(0, 3, 999, 0, record), 0);
  EXPECT_EQ(dbReset(0), 1);
  ASSERT_EQ(dbClose(0), 4096);
  ASSERT_EQ(dbOpen(kBad, 0), 0);
  char back[100] = "x";
  EXPECT_EQ(dbRead(0, 3, 999, 0, back, sizeof back), 0);
  EXPECT_EQ(back[0], 0);
}

// A key record naming a data type beyond the catalogue never becomes the
// current key: the lookup fails and the file is written back intact.
TEST_F(DamagedFileTest, KeyRecordNamingNoDataTypeIsNotMadeCurrent) {
  // (0,0), while (1,2), the last key added, is the current one.
  write_file(kBad, patched({{key_record_at(0, 0) + 4 * 9, 0x00ffffff}}));
  ASSERT_EQ(dbOpen(kBad, DB_MODE_WRITE), 0);
  std::int32_t damaged[4] = {0, 0, 0, 0};
  EXPECT_EQ(dbSetSection(0, kSectionNo, damaged), -100);
  std::int32_t sound[4] = {3, 1, 0, 0};
  EXPECT_EQ(dbSetSection(0, kSectionNo, sound), 1);
  EXPECT_EQ(dbClose(0), 4096);
  EXPECT_EQ(dbOpen(kBad, 0), 0);
}

// The largest key values stored with a section span the enumeration; huge
// ones must not make it try every value in between.
TEST_F(DamagedFileTest, HugeKeyRangeIsEnumeratedByTheKeysStored) {
  const std::size_t max_keys = def.lOffsetSection + offsetof(rb::Section, nMaxKeys);
  write_file(kBad, patched({{max_keys, INT32_MAX}, {max_keys + 4, INT32_MAX}}));
  ASSERT_EQ(dbOpen(kBad, 0), 0);
  std::vector<std::vector<std::int32_t>> found;
  std::int32_t keys[4] = {0, 0, 0, 0};
  for (std::int32_t mode = 0; dbGetKey(0, kSectionNo, mode, keys) == 1; mode = 1) {
    found.push_back({keys[0], keys[1]});
  }
  const std::vector<std::vector<std::int32_t>> expected = {{0, 0}, {3, 1}, {1, 2}};
  EXPECT_EQ(found, expected);
}

// The fuzzer's seeds, its finds and the inputs that once broke the library:
// dbOpen refuses a file exactly when the validator, listing every finding,
// has one, and answers the code of the first.
TEST(Validator, AgreesWithDbOpenOnEveryFuzzInput) {
  ASSERT_EQ(dbInit(16, 2), 0);
  int files = 0;
  for (const char* dir : {RECBASE_FUZZ_DIR "/corpus", RECBASE_FUZZ_DIR "/regressions"}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      std::string bytes = read_file(entry.path().string());
      write_file("fuzz_input.db", bytes);
      const auto read = [](void* context, std::int64_t offset, void* data, std::int64_t length) {
        const auto& b = *static_cast<const std::string*>(context);
        if (offset < 0 || length < 0 || offset + length > std::int64_t(b.size())) return false;
        std::memcpy(data, b.data() + offset, static_cast<std::size_t>(length));
        return true;
      };
      std::vector<rb::Finding> found;
      rb::Verdict list(
          [](void* to, const rb::Finding& f) {
            static_cast<std::vector<rb::Finding>*>(to)->push_back(f);
          },
          &found);
      rb::load_layout(read, &bytes, std::int64_t(bytes.size()), list);
      const std::int32_t opened = dbOpen("fuzz_input.db", 0);
      SCOPED_TRACE(entry.path().string() + (found.empty() ? "" : std::string(" ") + found[0].rule));
      EXPECT_EQ(opened < 0 ? opened : 0, found.empty() ? 0 : found[0].code);
      if (opened >= 0) dbClose(opened);
      ++files;
    }
  }
  EXPECT_GT(files, 500);
  dbExit();
}

}  // namespace
