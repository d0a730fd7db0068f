// Section table, brackets, hash buckets and key lookups.
#include <algorithm>
#include <random>
#include <unordered_map>

#include "section_support.h"
#include "sections/key_index.h"

namespace {

using sectest::Key;
using sectest::SectionTest;

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

TEST_F(SectionTest, BracketsTrackOpenSectionAndKey) {
  for (std::int32_t depth : {0, 5})
    EXPECT_EQ(dbBeginSections(fno, 1, depth, 0), DB_ERR_BAD_KEY_DEPTH);
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
