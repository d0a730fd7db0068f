// Section data types, the section data input and section record IO.
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "section_support.h"

namespace {

using sectest::Key;
using sectest::SectionTest;

using Record = std::vector<unsigned char>;

Record record_of(std::int32_t size, std::uint32_t seed) {
  Record r(static_cast<std::size_t>(size));
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>(seed * 31 + i * 7);
  return r;
}

class SectionRecordTest : public SectionTest {
 protected:
  // Section number 0 with one key (1, 2) open.
  void SetUp() override {
    SectionTest::SetUp();
    si = open_section(0, 2);
    Key key{1, 2, 0, 0};
    ASSERT_EQ(dbBeginSection(fno, 0, key.data()), si);
  }

  std::int32_t define(std::int32_t place, std::int32_t flags, std::int32_t size,
                      std::int32_t block = 4096) {
    const DataDesc d = rbtest::desc(place, flags, size, block);
    return dbBeginDataS(fno, &d, 0);
  }

  std::int32_t si = -1;
};

TEST_F(SectionRecordTest, RequestsOutsideTheCurrentKeysTypesAreRefused) {
  ASSERT_GE(define(3, 0, 16), 0);
  ASSERT_GE(dbEndDataS(fno), 0);
  const Record r = record_of(16, 1);
  Record buf(16);
  for (std::int32_t place : {-1, 10}) {
    EXPECT_EQ(dbWriteS(fno, place, 0, 0, r.data(), 0, 0), -90);
    EXPECT_EQ(dbReadS(fno, place, 0, 0, buf.data(), 0, 0), -90);
  }
  EXPECT_EQ(dbWriteS(fno, 3, -1, 0, r.data(), 0, 0), -90);
  // A place without a type.
  EXPECT_EQ(dbWriteS(fno, 4, 0, 0, r.data(), 0, 0), DB_ERR_TYPE_UNDECLARED);
  EXPECT_EQ(dbReadS(fno, 4, 0, 0, buf.data(), 0, 0), DB_ERR_TYPE_UNDECLARED);
  // Numbers that name no section, and one the file does not store.
  for (std::int32_t no : {-1, 1, 4, 99}) {
    EXPECT_EQ(dbWriteS(fno, 3, 0, 0, r.data(), 0, no), DB_ERR_BAD_SECTION_NO) << no;
  }
  const std::int32_t beyond = open_section(5, 1);  // nIndSections is 5
  add_key(5, beyond, {1, 0, 0, 0});
  EXPECT_EQ(dbWriteS(fno, 3, 0, 0, r.data(), 0, 5), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(dbBeginDataS(fno, nullptr, 5), DB_ERR_BAD_SECTION_NO);
  // A section with buckets but without any key: its image holds zeros.
  const std::int32_t keyless = open_section(2, 1);
  EXPECT_EQ(section(keyless).nIndDataCtrl[0], 0);
  EXPECT_EQ(dbWriteS(fno, 0, 0, 0, r.data(), 0, 2), DB_ERR_TYPE_UNDECLARED);
  EXPECT_EQ(dbReadS(fno, 0, 0, 0, buf.data(), 0, 2), DB_ERR_TYPE_UNDECLARED);
  const DataDesc d = rbtest::desc(0, 0, 16, 4096);
  EXPECT_EQ(dbAddDataCtrlS(fno, &d, 2), DB_ERR_SECTION_MISMATCH);
  EXPECT_EQ(section(keyless).nIndDataCtrl[0], 0);
}

TEST_F(SectionRecordTest, RefusedDescriptionsCreateNothing) {
  const std::int32_t types = f().def.nDataTypes;
  for (const DataDesc& d :
       {rbtest::desc(10, 0, 16, 4096), rbtest::desc(-1, 0, 16, 4096),
        rbtest::desc(0, DTF_ITERATOR, 16, 4096), rbtest::desc(0, DTF_PLACED, 16, 4096),
        rbtest::desc(0, DTF_INDEX | DTF_PLACED | DTF_ITERATOR, 16, 4096),
        rbtest::desc(0, DTF_BUCKET, 60, 4096), rbtest::desc(0, 0, 0, 4096),
        rbtest::desc(0, 0, 100, 50)}) {
    EXPECT_LT(dbAddDataCtrlS(fno, &d, 0), 0) << d.nType << " " << d.nFlags;
    EXPECT_LT(dbBeginDataS(fno, &d, 0), 0);
  }
  EXPECT_EQ(dbAddDataCtrlS(fno, nullptr, 0), -90);
  EXPECT_EQ(f().def.nDataTypes, types);
  EXPECT_EQ(f().def.nDataCtrlOpen, -1);
  for (std::int32_t p = 0; p < 10; ++p) EXPECT_EQ(section(si).nIndDataCtrl[p], -1);
  const DataDesc place10 = rbtest::desc(10, 0, 16, 4096);
  EXPECT_EQ(dbAddDataCtrlS(fno, &place10, 0), -3403);
}

// Section records corrupted on file are refused when the file is opened.
TEST_F(SectionRecordTest, InconsistentSectionRecordsAreRefusedAtOpen) {
  ASSERT_GE(define(0, 0, 16), 0);
  ASSERT_GE(dbEndDataS(fno), 0);
  ASSERT_EQ(dbEndSection(fno, si), si);
  ASSERT_GE(dbClose(fno), 0);
  const std::string good = rbtest::read_file(kName);
  const std::size_t table = static_cast<std::size_t>(rbtest::word_at(good, 1128));
  const std::int32_t types = rbtest::word_at(good, 1092);
  struct Change {
    int word;
    std::int32_t value;
  };
  for (const Change c : {Change{2, 0}, Change{2, 5}, Change{5, types - 3}, Change{6, 17},
                         Change{7, 16}, Change{4, 50}, Change{14, 16}, Change{15, 9},
                         Change{16, types}, Change{16, -2}, Change{9, 4}}) {
    std::string bad = good;
    rbtest::put_word(bad, table + 4 * c.word, c.value);
    rbtest::write_file(kName, bad);
    EXPECT_EQ(dbOpen(kName, 0), -100) << "word " << c.word << " = " << c.value;
  }
  rbtest::write_file(kName, good);
  fno = dbOpen(kName, 0);
  EXPECT_EQ(fno, 0);
}

// Random sections and keys, several typed records per key, iterator types
// written in runs of several sub-indices during their input. When an input
// closes, its area holds every place the input counted; after a close and
// a read-only reopening every key and record is found byte for byte,
// and the enumeration yields exactly the keys with values of 0 or more.
TEST_F(SectionTest, PropertyEveryKeyAndRecordSurvivesReopen) {
  std::mt19937 rng(20240611);
  const auto pick = [&rng](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
  };
  struct TypeData {
    std::int32_t place, flags, size;
    std::map<std::pair<std::int32_t, std::int32_t>, Record> records;
  };
  struct SectionModel {
    std::int32_t no, depth, index;
    std::map<Key, std::vector<TypeData>> keys;  // first occurrence of each key
    Key last{};                                 // the key added last, still current
    std::vector<TypeData> last_types;
  };
  std::vector<SectionModel> model;
  for (std::int32_t no : {0, 2, 4}) {
    const std::int32_t depth = pick(1, 4);
    model.push_back({no, depth, open_section(no, depth), {}, {}, {}});
    ASSERT_EQ(dbEndSections(fno, model.back().index), model.back().index);
  }
  std::uint32_t seed = 1;
  const std::int32_t kinds[] = {0, DTF_INDEX, DTF_INDEX | DTF_ITERATOR};
  for (int step = 0; step < 120 && !HasFailure(); ++step) {
    SectionModel& sm = model[static_cast<std::size_t>(pick(0, 2))];
    Key key{};
    for (std::int32_t l = 0; l < 4; ++l) key[l] = pick(-2, 3);
    if (pick(0, 9) == 0 && !sm.keys.empty()) key = sm.keys.begin()->first;  // a duplicate
    if (pick(0, 4) == 0 && sm.depth > 1) std::swap(key[0], key[1]);         // a permutation
    ASSERT_EQ(dbBeginSection(fno, sm.no, key.data()), sm.index);
    std::vector<TypeData> types;
    for (std::int32_t place = 0; place < pick(1, 3); ++place) {
      TypeData t{place, kinds[pick(0, 2)], pick(1, 200), {}};
      // Often one record a block, so that the area grows with every slot.
      const std::int32_t block = pick(0, 2) == 0 ? t.size : pick(t.size, 2048);
      const DataDesc d = rbtest::desc(place, t.flags, t.size, block);
      const std::int32_t k = dbBeginDataS(fno, &d, sm.no);
      ASSERT_GE(k, 0);
      const bool runs = (t.flags & DTF_ITERATOR) != 0;
      std::int32_t next_run = 0;
      const auto put = [&](std::int32_t rec, std::int32_t sub) {
        Record r = record_of(t.size, ++seed);
        const std::int32_t result = dbWriteS(fno, place, rec, sub, r.data(), 0, sm.no);
        if (result == 0) t.records[{rec, sub}] = r;
        return result;
      };
      for (int n = pick(0, 40); n > 0; --n) {
        std::int32_t rec = pick(0, 300);
        std::int32_t subs = 1;
        if (runs) {
          rec = next_run;  // runs one at a time
          next_run += pick(1, 3);
          subs = pick(1, 4);
        }
        for (std::int32_t sub = 0; sub < subs; ++sub) {
          const std::int32_t counted = ctrl(k).lMaxFileRecs;
          ASSERT_EQ(put(rec, sub), 0);
          ASSERT_GE(ctrl(k).lMaxFileRecs, counted) << "the count of an input only rises";
        }
      }
      ASSERT_EQ(dbEndDataS(fno), k);
      // The area holds every place counted, and the next record, when its
      // slot lies inside the area, is written there without growth.
      const std::int64_t places = std::int64_t{ctrl(k).lMaxBlockRecs} * ctrl(k).lBlockRecs;
      ASSERT_GE(places, ctrl(k).lMaxFileRecs);
      const std::int32_t blocks = ctrl(k).lMaxBlockRecs;
      const std::int32_t next_slot =
          t.flags == 0 ? static_cast<std::int32_t>(places) - 1 : ctrl(k).lFileRecs;
      const std::int32_t next_rec = t.flags == 0 ? next_slot : runs ? next_run : 301;
      if (next_slot >= 0 && next_slot < places) {
        ASSERT_EQ(put(next_rec, 0), 0);
        EXPECT_EQ(ctrl(k).lMaxBlockRecs, blocks);
      } else if (runs) {
        EXPECT_EQ(put(next_rec, 0), -3402);
      }
      for (const auto& [at, r] : t.records) {
        Record got(r.size());
        ASSERT_EQ(dbReadS(fno, place, at.first, at.second, got.data(), 0, sm.no), 0);
        ASSERT_EQ(got, r) << "place " << place << " rec " << at.first << "/" << at.second;
      }
      types.push_back(std::move(t));
    }
    ASSERT_EQ(dbEndSection(fno, sm.index), sm.index);
    sm.last = key;
    sm.last_types = types;
    sm.keys.emplace(key, std::move(types));  // a duplicate keeps the first
  }
  reopen(0);
  for (const SectionModel& sm : model) {
    std::set<Key> enumerable;
    // The current key is answered without a look-up: for a key added twice
    // that is its later record until another key has been looked up.
    Key current = sm.last;
    const std::vector<TypeData>* current_types = &sm.last_types;
    for (const auto& [key, first] : sm.keys) {
      ASSERT_EQ(dbSetSection(fno, sm.no, key.data()), 1);
      if (key != current) {
        current = key;
        current_types = &first;
      }
      for (const TypeData& t : *current_types) {
        for (const auto& [at, r] : t.records) {
          Record got(r.size());
          ASSERT_EQ(dbReadS(fno, t.place, at.first, at.second, got.data(), 0, sm.no), 0);
          ASSERT_EQ(got, r) << "section " << sm.no << " place " << t.place << " rec " << at.first;
        }
      }
      if (std::all_of(key.begin(), key.begin() + sm.depth, [](std::int32_t v) { return v >= 0; })) {
        enumerable.insert(key);
      }
    }
    std::set<Key> enumerated;
    Key k{-1, -1, -1, -1};
    for (std::int32_t mode = 0; dbGetKey(fno, sm.no, mode, k.data()) == 1; mode = 1) {
      EXPECT_TRUE(enumerated.insert(k).second);
    }
    EXPECT_EQ(enumerated, enumerable) << "section " << sm.no;
  }
}

}  // namespace
