// Section table, brackets, hash buckets and key lookups.
#include <algorithm>
#include <random>
#include <unordered_map>

#include "section_support.h"
#include "sections/key_index.h"
#include "support/stored.h"

namespace {

using sectest::Key;
using sectest::SectionTest;

TEST_F(SectionTest, TablesGrowAndKeepEverySection) {
  EXPECT_EQ(dbAddSection(fno, 3, 0x77), 0);
  EXPECT_EQ(f().def.nSectionsX, 5);
  EXPECT_EQ(f().def.nIndSectionsX, 13);
  EXPECT_EQ(f().pIndSections[12], -1);
  for (std::int32_t i = 1; i < 6; ++i) EXPECT_EQ(dbAddSection(fno, 4, i), i);
  EXPECT_EQ(f().def.nSectionsX, 10);
  EXPECT_EQ(section(0).nFlags, 0x77);
  EXPECT_EQ(f().pIndSections[4], 5);  // a number taken again: the newest section
}

TEST_F(SectionTest, IndSectionsVectorNeverShorterThanStoredCount) {
  ASSERT_GE(dbClose(fno), 0);
  dbSetMaxSection(40);
  fno = dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE);
  ASSERT_EQ(dbAddSection(fno, 2, 0), 0);
  EXPECT_GE(f().nIndSectionsCap, 40);
  // Record IO admits numbers up to 39; the section can be found there.
  ASSERT_EQ(dbAddSection(fno, 39, 0), 1);
  reopen(DB_MODE_WRITE);
  EXPECT_EQ(f().def.nIndSections, 40);
  EXPECT_EQ(f().pIndSections[39], 1);
}

TEST_F(SectionTest, BadSectionNumbersAndIndicesAreRefused) {
  const std::int32_t i = open_section(1, 2);
  Key key{1, 2, 0, 0};
  EXPECT_EQ(dbAddSection(fno, -1, 0), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(dbBeginSections(fno, -2, 1, 0), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(f().def.nSections, 1);
  for (std::int32_t no : {-1, 0, 2, 1000}) {
    EXPECT_EQ(dbBeginSection(fno, no, key.data()), DB_ERR_BAD_SECTION_NO) << no;
    EXPECT_EQ(dbExistKey(fno, no, key.data()), DB_ERR_BAD_SECTION_NO) << no;
    EXPECT_EQ(dbGetMaxKey(fno, no, key.data()), DB_ERR_BAD_SECTION_NO) << no;
    EXPECT_EQ(dbGetKey(fno, no, 0, key.data()), 0) << no;
  }
  for (std::int32_t bad : {-1, 1, 99}) {
    EXPECT_EQ(dbEndSections(fno, bad), DB_ERR_BAD_SECTION_HANDLE);
    EXPECT_EQ(dbEndSection(fno, bad), DB_ERR_BAD_SECTION_HANDLE);
    EXPECT_EQ(dbAddKey(fno, bad, key.data()), DB_ERR_BAD_SECTION_HANDLE);
  }
  EXPECT_EQ(dbBeginSection(fno, 1, nullptr), -90);
  EXPECT_EQ(dbAddHashBucket(fno, -1), DB_ERR_BUCKET_SECTION);
  EXPECT_EQ(dbAddHashBucket(fno, 1), DB_ERR_BAD_SECTION_HANDLE);
  EXPECT_EQ(section(i).lFstKeyHandle, -1);
}

// Section numbers end at the IndSections vector's length, whatever memory
// lies behind its last entry.
TEST_F(SectionTest, NumberEqualToTheVectorLengthIsRefused) {
  open_section(2, 1);
  add_key(2, 0, Key{5, -1, -1, -1});
  Key key{5, -1, -1, -1};
  const std::int32_t length = f().def.nIndSectionsX;
  ASSERT_EQ(f().nIndSectionsCap, length);
  EXPECT_EQ(dbExistKey(fno, length, key.data()), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(dbExistKey(fno, 2, key.data()), 1);
  f().def.nIndSectionsX = 2;  // entry 2 still names section 0 in memory
  EXPECT_EQ(dbExistKey(fno, 2, key.data()), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(dbBeginSection(fno, 2, key.data()), DB_ERR_BAD_SECTION_NO);
  EXPECT_EQ(dbGetKey(fno, 2, 0, key.data()), 0);
}

TEST_F(SectionTest, KeyOperationsRefuseSectionsWithoutBuckets) {
  ASSERT_EQ(dbAddSection(fno, 0, 0), 0);
  Key key{0, 0, 0, 0};
  EXPECT_EQ(dbBeginSection(fno, 0, key.data()), DB_ERR_SECTION_MISMATCH);
  EXPECT_EQ(key[1], 0);  // the caller's array is not touched
  EXPECT_EQ(dbAddKey(fno, 0, key.data()), DB_ERR_SECTION_MISMATCH);
  EXPECT_EQ(dbExistKey(fno, 0, key.data()), DB_ERR_SECTION_MISMATCH);
  // Such a file still opens.
  reopen(0);
  EXPECT_EQ(f().def.nSections, 1);
}

TEST_F(SectionTest, BucketLayoutThatCanMissABucketIsRefused) {
  struct Case {
    std::int32_t buckets, mask, block;
  };
  for (const Case c : {Case{16, 16, 4096}, Case{16, 31, 4096}, Case{12, 15, 4096},
                       Case{16, -1, 4096}, Case{0, 0, 4096}, Case{16, 15, 59}}) {
    dbSetBucket(c.buckets);
    dbSetBucketMsk(c.mask);
    dbSetBucketBlock(c.block);
    EXPECT_EQ(dbBeginSections(fno, 0, 1, 0), DB_ERR_SECTION_MISMATCH) << c.buckets << " " << c.mask;
    EXPECT_EQ(dbAddSection(fno, 0, 0), DB_ERR_SECTION_MISMATCH);
  }
  EXPECT_EQ(f().def.nSections, 0);
  EXPECT_EQ(f().def.nDataTypes, 0);
  // A mask below the bucket count is fine, even when not all buckets are used.
  dbSetBucket(12);
  dbSetBucketMsk(7);
  dbSetBucketBlock(60);
  const std::int32_t i = open_section(0, 1);
  EXPECT_EQ(section(i).nBuckets, 12);
  EXPECT_EQ(ctrl(0).lBlockRecs, 1);
  dbSetBucketBlock(59);
  EXPECT_EQ(dbAddHashBucket(fno, i), DB_ERR_SECTION_MISMATCH);
  EXPECT_EQ(f().def.nDataTypes, 12);
}

TEST_F(SectionTest, BeginSectionsCreatesConsecutiveBuckets) {
  const DataDesc plain = rbtest::desc(7, 0, 100, 4096, 10);
  ASSERT_EQ(dbAddDataCtrl(fno, &plain), 0);
  EXPECT_EQ(dbBeginSections(fno, 2, 0, 0), DB_ERR_BAD_KEY_DEPTH);
  EXPECT_EQ(dbBeginSections(fno, 2, 5, 0), DB_ERR_BAD_KEY_DEPTH);
  EXPECT_EQ(f().def.nSections, 0);
  const std::int32_t i = open_section(2, 3);
  EXPECT_EQ(f().def.nOpenSectionHandle, i);
  EXPECT_EQ(section(i).nHashFstDataCtrlHandle, 1);
  EXPECT_EQ(f().def.nDataTypes, 17);
  for (std::int32_t b = 0; b < 16; ++b) {
    EXPECT_EQ(ctrl(1 + b).nFlags, DTF_BUCKET);
    EXPECT_EQ(ctrl(1 + b).lMaxFileRecs, 68);
    EXPECT_EQ(ctrl(1 + b).lOffsetData, rb::area_end(ctrl(b)));
  }
}

TEST_F(SectionTest, FailedBucketLeavesSectionWithoutBuckets) {
  // Fail each allocation in turn until one fails inside the bucket loop
  // (the section itself was added).
  bool bucket_failed = false;
  for (std::int32_t n = 1; n < 200 && !bucket_failed; ++n) {
    ASSERT_GE(dbClose(fno), 0);
    fno = dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE);
    ASSERT_EQ(fno, 0);
    rb::testing::fail_allocation_at(n);
    const std::int32_t r = dbBeginSections(fno, 0, 1, 0);
    rb::testing::fail_allocation_at(0);
    ASSERT_LT(r, 0) << "no allocation failed";
    bucket_failed = f().def.nSections == 1;
  }
  ASSERT_TRUE(bucket_failed);
  EXPECT_EQ(section(0).nHashFstDataCtrlHandle, -1);
  EXPECT_EQ(f().def.nOpenSectionHandle, -1);
  Key key{1, 0, 0, 0};
  EXPECT_EQ(dbBeginSection(fno, 0, key.data()), DB_ERR_SECTION_MISMATCH);
  reopen(0);  // still a valid file
  EXPECT_EQ(f().def.nSections, 1);
}

TEST_F(SectionTest, KeysGoToTheBucketOfTheirSum) {
  const std::int32_t i = open_section(0, 2);
  const std::int32_t first = section(i).nHashFstDataCtrlHandle;
  // Fill bucket 8 with 20 keys, then (3, 5) is its 21st record.
  for (std::int32_t v = 0; v < 20; ++v) add_key(0, i, {8 + 16 * v, 0, 0, 0});
  Key key{3, 5, 7, 7};
  EXPECT_EQ(dbBeginSection(fno, 0, key.data()), i);
  EXPECT_EQ(section(i).nLstKeyBucket, 8);
  EXPECT_EQ(section(i).lLstKeyHandle, 20);
  EXPECT_EQ(ctrl(first + 8).lFileRecs, 21);
  // Permutations share a bucket; a wrapping negative sum lands in bucket 15.
  add_key(0, i, {2, 1, 0, 0});
  EXPECT_EQ(section(i).nLstKeyBucket, 3);
  add_key(0, i, {1, 2, 0, 0});
  EXPECT_EQ(section(i).lLstKeyHandle, 1);
  add_key(0, i, {INT32_MIN, INT32_MAX, 0, 0});  // sum -1
  EXPECT_EQ(section(i).nLstKeyBucket, 15);
  add_key(0, i, {INT32_MAX, INT32_MAX, 0, 0});  // sum wraps to -2
  EXPECT_EQ(section(i).nLstKeyBucket, 14);
  // The key record on file: at byte 20 * 60 of bucket 8's first block.
  ASSERT_EQ(dbEndSections(fno, i), i);
  const std::int32_t offset = ctrl(first + 8).lOffsetData + 20 * 60;
  reopen(0);
  const std::string bytes = rbtest::read_file(kName);
  EXPECT_EQ(rbtest::words(bytes, offset, 15),
            (std::vector<std::int32_t>{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 3, 5, -1, -1, 0}));
}

TEST_F(SectionTest, SixtyNinthKeyOpensTheBucketsSecondBlock) {
  const std::int32_t i = open_section(0, 1);
  const std::int32_t d = section(i).nHashFstDataCtrlHandle + 5;
  const std::int32_t next_offset = ctrl(d + 1).lOffsetData;
  for (std::int32_t v = 0; v < 69; ++v) add_key(0, i, {5 + 16 * v, 0, 0, 0});
  EXPECT_EQ(ctrl(d).lLenData, 8192);
  EXPECT_EQ(ctrl(d + 1).lOffsetData, next_offset + 4096);  // the next bucket moved up
  const std::int32_t second_block = ctrl(d).lOffsetData + 4096;
  ASSERT_EQ(dbEndSections(fno, i), i);
  reopen(0);
  const std::string bytes = rbtest::read_file(kName);
  EXPECT_EQ(rbtest::word_at(bytes, second_block + 40), 5 + 16 * 68);
  // Every key is still found, the last ones in the second block.
  for (std::int32_t v = 68; v >= 0; --v) {
    Key key{5 + 16 * v, 0, 0, 0};
    ASSERT_EQ(dbExistKey(fno, 0, key.data()), 1) << v;
    EXPECT_EQ(section(i).lLstKeyHandle, v);
  }
}

TEST_F(SectionTest, LookupFindsFirstEqualKeyAndMakesItCurrent) {
  const std::int32_t i = open_section(4, 2);
  add_key(4, i, {1, 1, 0, 0});
  add_key(4, i, {0, 2, 0, 0});
  add_key(4, i, {1, 1, 0, 0});                  // a duplicate, record 2 of bucket 2
  EXPECT_EQ(f().def.nActiveSectionHandle, -1);  // adding never selects
  std::int32_t no = 0;
  Key out{};
  EXPECT_EQ(dbGetSection(fno, &no, out.data()), -200);

  Key probe{0, 2, 99, 99};
  EXPECT_EQ(dbSetSection(fno, 4, probe.data()), 1);
  EXPECT_EQ(section(i).lLstKeyHandle, 1);
  Key dup{1, 1, 0, 0};
  EXPECT_EQ(dbExistKey(fno, 4, dup.data()), 1);
  EXPECT_EQ(section(i).nLstKeyBucket, 2);
  EXPECT_EQ(section(i).lLstKeyHandle, 0);  // the first of the two
  EXPECT_EQ(f().def.nActiveSectionHandle, i);
  EXPECT_EQ(dbGetSection(fno, &no, out.data()), 0);
  EXPECT_EQ(no, 4);
  EXPECT_EQ(out[1], 1);

  Key missing{2, 0, 0, 0};  // same bucket, no such key
  EXPECT_EQ(dbExistKey(fno, 4, missing.data()), 0);
  EXPECT_EQ(section(i).lLstKeyHandle, 0);
  EXPECT_EQ(section(i).nKeysLst[0], 1);
}

TEST_F(SectionTest, GetKeyEnumeratesInOdometerOrder) {
  const std::int32_t i = open_section(0, 2);
  Key none{};
  EXPECT_EQ(dbGetKey(fno, 0, 0, none.data()), 0);  // no keys: nMaxKeys all -1
  Key max{};
  EXPECT_EQ(dbGetMaxKey(fno, 0, max.data()), 2);
  EXPECT_EQ(max[0], -1);
  EXPECT_EQ(max[1], -1);
  for (Key k : {Key{1, 1, 0, 0}, Key{0, 1, 0, 0}, Key{1, 0, 0, 0}, Key{0, 0, 0, 0}}) {
    add_key(0, i, k);
  }
  Key k{5, 5, 42, 43};
  ASSERT_EQ(dbGetKey(fno, 0, 0, k.data()), 1);
  EXPECT_EQ(k, (Key{0, 0, 42, 43}));
  std::vector<Key> seen;
  while (dbGetKey(fno, 0, 1, k.data()) == 1) seen.push_back(k);
  EXPECT_EQ(seen, (std::vector<Key>{{1, 0, 42, 43}, {0, 1, 42, 43}, {1, 1, 42, 43}}));
}

TEST_F(SectionTest, GetKeySkipsGapsAndSurvivesOddStartValues) {
  const std::int32_t i = open_section(0, 2);
  add_key(0, i, {-7, 3, 0, 0});
  add_key(0, i, {2, 0, 0, 0});
  add_key(0, i, {0, 3, 0, 0});
  Key k{};
  ASSERT_EQ(dbGetKey(fno, 0, 0, k.data()), 1);
  EXPECT_EQ(k, (Key{2, 0, 0, 0}));
  ASSERT_EQ(dbGetKey(fno, 0, 1, k.data()), 1);
  EXPECT_EQ(k, (Key{0, 3, 0, 0}));
  EXPECT_EQ(dbGetKey(fno, 0, 1, k.data()), 0);
  // Start values outside the key ranges neither overflow nor run long.
  for (Key start : {Key{INT32_MIN, 1, 0, 0}, Key{INT32_MAX, 0, 0, 0}}) {
    ASSERT_EQ(dbGetKey(fno, 0, 1, start.data()), 1);
    EXPECT_EQ(start, (Key{0, 3, 0, 0}));
  }
  Key past{INT32_MAX, INT32_MAX, 0, 0};
  EXPECT_EQ(dbGetKey(fno, 0, 1, past.data()), 0);
}

TEST_F(SectionTest, BracketsTrackOpenSectionAndKey) {
  const std::int32_t i = open_section(1, 1);
  Key key{9, 0, 0, 0};
  ASSERT_EQ(dbBeginSection(fno, 1, key.data()), i);
  EXPECT_EQ(dbEndSections(fno, i), -9001);
  EXPECT_EQ(dbEndSection(fno, i), i);
  EXPECT_EQ(section(i).lOpenKeysHandle, -1);
  EXPECT_EQ(dbEndSections(fno, i), i);
  EXPECT_EQ(f().def.nOpenSectionHandle, -1);
  Key max{};
  EXPECT_EQ(dbGetMaxKey(fno, 1, max.data()), 1);
  EXPECT_EQ(max[0], 9);
}

TEST_F(SectionTest, AllocationFailuresLeaveTablesIntact) {
  ASSERT_EQ(dbAddSection(fno, 0, 0), 0);
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbExpandSections(fno), DB_ERR_SECTIONS_ALLOC);
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbExpandIndSections(fno, 50), DB_ERR_INDSECTIONS_ALLOC);
  EXPECT_EQ(f().def.nSectionsX, 5);
  EXPECT_EQ(f().pIndSections[0], 0);
  // A failing vector growth inside dbAddSection leaves no section behind.
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbAddSection(fno, 60, 0), DB_ERR_INDSECTIONS_ALLOC);
  EXPECT_EQ(f().def.nSections, 1);
}

// The key index answers exactly as a scan of the bucket: the first equal
// key record, read through dbReadKey here, under appends of equal keys,
// key records changed in place, dropped cache blocks and a reopen.
TEST_F(SectionTest, KeyLookupsFindTheFirstEqualKeyRecord) {
  dbSetBucketBlock(600);  // ten key records per block: several blocks per bucket
  dbSetBucket(4);
  dbSetBucketMsk(3);
  const std::int32_t i = open_section(0, 2);
  std::mt19937 rng(7);
  const auto scan = [&](const Key& key, std::int32_t& bucket) {
    bucket = (key[0] + key[1]) & 3;
    const std::int32_t d = section(i).nHashFstDataCtrlHandle + bucket;
    for (std::int32_t n = 0; n < ctrl(d).lFileRecs; ++n) {
      rb::KeyRecord r{};
      EXPECT_EQ(dbReadKey(fno, d, n, &r, sizeof r), 0);
      if (r.nKey[0] == key[0] && r.nKey[1] == key[1]) return n;
    }
    return -1;
  };
  const auto random_key = [&rng] {
    return Key{static_cast<std::int32_t>(rng() % 13), static_cast<std::int32_t>(rng() % 5), -1, -1};
  };
  for (std::int32_t n = 0; n < 120; ++n) EXPECT_GE(dbAddKey(fno, i, random_key().data()), 0);
  for (std::int32_t step = 0; step < 600; ++step) {
    const Key key = random_key();
    const std::uint32_t what = rng() % 40;
    if (what < 2) {
      EXPECT_GE(dbAddKey(fno, i, key.data()), 0);
    } else if (what < 10) {
      // A key record changed in place.
      std::int32_t bucket = 0;
      scan(key, bucket);
      const std::int32_t d = section(i).nHashFstDataCtrlHandle + bucket;
      if (ctrl(d).lFileRecs > 0) {
        rb::KeyRecord r{};
        const std::int32_t n = static_cast<std::int32_t>(rng() % ctrl(d).lFileRecs);
        ASSERT_EQ(dbReadKey(fno, d, n, &r, sizeof r), 0);
        r.nKey[1] = static_cast<std::int32_t>(rng() % 5);
        ASSERT_EQ(dbWriteKey(fno, d, n, &r, sizeof r), 0);
      }
    } else if (what == 10) {
      ASSERT_EQ(dbFlush(fno), 0);
      dbReset(fno);
    } else if (what == 11) {
      section(i).lOpenKeysHandle = -1;
      ASSERT_EQ(dbEndSections(fno, i), i);
      reopen(DB_MODE_WRITE);
    } else {
      std::int32_t bucket = 0;
      const std::int32_t first = scan(key, bucket);
      section(i).nKeysLst[0] = -7;  // no current key: the bucket is searched
      EXPECT_EQ(dbExistKey(fno, 0, key.data()), first >= 0 ? 1 : 0) << step;
      if (first >= 0) {
        EXPECT_EQ(section(i).lLstKeyHandle, first) << step;
        EXPECT_EQ(section(i).nLstKeyBucket, bucket) << step;
      }
    }
  }
}

// Two keys of one bucket whose tags in the key index are equal: the index
// names the first record of either, and the lookup still finds each key.
TEST_F(SectionTest, KeysSharingAnIndexTagAreBothFound) {
  const std::int32_t i = open_section(0, 2);
  std::unordered_map<std::uint32_t, std::int32_t> seen;
  Key a{}, b{};
  for (std::int32_t n = 1;; ++n) {
    const Key k{n, -n, 0, 0};  // every such key falls into bucket 0
    const auto [at, added] = seen.emplace(rb::testing::key_tag(k.data(), 2), n);
    if (!added) {
      a = Key{at->second, -at->second, 0, 0};
      b = k;
      break;
    }
  }
  for (const Key& k : {Key{1, -1, 0, 0}, a, Key{2, -2, 0, 0}, b}) {
    ASSERT_GE(dbAddKey(fno, i, k.data()), 0);
  }
  for (std::int32_t round = 0; round < 2; ++round) {
    for (const auto& [key, rec] : {std::pair{b, 3}, std::pair{a, 1}}) {
      section(i).nKeysLst[0] = -7;  // no current key: the bucket is searched
      EXPECT_EQ(dbExistKey(fno, 0, key.data()), 1);
      EXPECT_EQ(section(i).lLstKeyHandle, rec);
    }
  }
  const Key absent{3, -3, 0, 0};
  EXPECT_EQ(dbExistKey(fno, 0, absent.data()), 0);
}

}  // namespace
