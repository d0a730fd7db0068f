// On-disk records of a database file.
//
// A database file is a sequence of raw images of these records, made of
// 32-bit little-endian two's-complement words. They are written and read
// as they stand in memory, so each layout is pinned down here: any change
// to a size or an offset breaks every file ever written.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace rb {

static_assert(std::endian::native == std::endian::little,
              "database files are little-endian; this host would need byte swapping");

inline constexpr std::int32_t kHeaderBlockSize = 4096;
// Bytes of one entry of an index or number vector (a signed 32-bit value).
inline constexpr std::int32_t kEntrySize = sizeof(std::int32_t);
inline constexpr char kFormatId[] = "TOVEK 1.00.0001";
inline constexpr std::size_t kFormatIdCheckLen = 5;  // "TOVEK"

// Header fields: the FileDef at offset 0 of the file.
struct FileDef {
  char cFormat[16];
  char cReserved[1024];
  std::int32_t tCreate;
  std::int32_t tUpdate;
  std::int32_t nFlags;
  std::int32_t nDataCtrlOpen;
  std::int32_t nDataTypeCursor;
  std::int32_t lFileLen;
  std::int32_t nIndexVectors;
  std::int32_t nIndexVectorsX;
  std::int32_t nIndexCtrls;
  std::int32_t nIndexCtrlsX;
  std::int32_t nIndexCtrlSize;
  std::int32_t nLenIndexCtrl;
  std::int32_t lOffsetIndexCtrl;
  std::int32_t nDataTypes;
  std::int32_t nDataTypesX;
  std::int32_t nDataCtrlSize;
  std::int32_t nLenDataCtrl;
  std::int32_t lOffsetDataCtrl;
  std::int32_t nSections;
  std::int32_t nSectionsX;
  std::int32_t nSectionSize;
  std::int32_t nLenSection;
  std::int32_t lOffsetSection;
  std::int32_t nIndDataTypes;
  std::int32_t nIndDataTypesX;
  std::int32_t lOffsetIndDataTypes;
  std::int32_t nIndSections;
  std::int32_t nIndSectionsX;
  std::int32_t lOffsetIndSections;
  std::int32_t nOpenSectionHandle;
  std::int32_t nActiveSectionHandle;
  std::int32_t lOffsetVectors;
};
static_assert(sizeof(FileDef) == 1168);
static_assert(offsetof(FileDef, cReserved) == 16);
static_assert(offsetof(FileDef, tCreate) == 1040);
static_assert(offsetof(FileDef, tUpdate) == 1044);
static_assert(offsetof(FileDef, nFlags) == 1048);
static_assert(offsetof(FileDef, nDataCtrlOpen) == 1052);
static_assert(offsetof(FileDef, nDataTypeCursor) == 1056);
static_assert(offsetof(FileDef, lFileLen) == 1060);
static_assert(offsetof(FileDef, nIndexVectors) == 1064);
static_assert(offsetof(FileDef, nIndexVectorsX) == 1068);
static_assert(offsetof(FileDef, nIndexCtrls) == 1072);
static_assert(offsetof(FileDef, nIndexCtrlsX) == 1076);
static_assert(offsetof(FileDef, nIndexCtrlSize) == 1080);
static_assert(offsetof(FileDef, nLenIndexCtrl) == 1084);
static_assert(offsetof(FileDef, lOffsetIndexCtrl) == 1088);
static_assert(offsetof(FileDef, nDataTypes) == 1092);
static_assert(offsetof(FileDef, nDataTypesX) == 1096);
static_assert(offsetof(FileDef, nDataCtrlSize) == 1100);
static_assert(offsetof(FileDef, nLenDataCtrl) == 1104);
static_assert(offsetof(FileDef, lOffsetDataCtrl) == 1108);
static_assert(offsetof(FileDef, nSections) == 1112);
static_assert(offsetof(FileDef, nSectionsX) == 1116);
static_assert(offsetof(FileDef, nSectionSize) == 1120);
static_assert(offsetof(FileDef, nLenSection) == 1124);
static_assert(offsetof(FileDef, lOffsetSection) == 1128);
static_assert(offsetof(FileDef, nIndDataTypes) == 1132);
static_assert(offsetof(FileDef, nIndDataTypesX) == 1136);
static_assert(offsetof(FileDef, lOffsetIndDataTypes) == 1140);
static_assert(offsetof(FileDef, nIndSections) == 1144);
static_assert(offsetof(FileDef, nIndSectionsX) == 1148);
static_assert(offsetof(FileDef, lOffsetIndSections) == 1152);
static_assert(offsetof(FileDef, nOpenSectionHandle) == 1156);
static_assert(offsetof(FileDef, nActiveSectionHandle) == 1160);
static_assert(offsetof(FileDef, lOffsetVectors) == 1164);

// Bits of FileDef::nFlags.
inline constexpr std::int32_t kModeWrite = 0x02;
inline constexpr std::int32_t kModeWriteLock = 0x10;
inline constexpr std::int32_t kModeCreated = 0x1000;

// One data type of the catalogue.
struct DataCtrl {
  std::int32_t nType;
  std::int32_t nFlags;
  std::int32_t nDataSize;
  std::int32_t nBlockSize;
  std::int32_t lFileRecs;
  std::int32_t lMaxFileRecs;
  std::int32_t lBlockRecs;
  std::int32_t lMaxBlockRecs;
  std::int32_t lOffsetData;
  std::int32_t lLenData;
  std::int32_t lMaxIndex;
  std::int32_t nIndexNo;
  std::int32_t nIteratorNo;
  std::int32_t nSectionIndexNo;
  std::int32_t nReserved[2];
};
static_assert(sizeof(DataCtrl) == 64);
static_assert(offsetof(DataCtrl, nFlags) == 4);
static_assert(offsetof(DataCtrl, nDataSize) == 8);
static_assert(offsetof(DataCtrl, nBlockSize) == 12);
static_assert(offsetof(DataCtrl, lFileRecs) == 16);
static_assert(offsetof(DataCtrl, lMaxFileRecs) == 20);
static_assert(offsetof(DataCtrl, lBlockRecs) == 24);
static_assert(offsetof(DataCtrl, lMaxBlockRecs) == 28);
static_assert(offsetof(DataCtrl, lOffsetData) == 32);
static_assert(offsetof(DataCtrl, lLenData) == 36);
static_assert(offsetof(DataCtrl, lMaxIndex) == 40);
static_assert(offsetof(DataCtrl, nIndexNo) == 44);
static_assert(offsetof(DataCtrl, nIteratorNo) == 48);
static_assert(offsetof(DataCtrl, nSectionIndexNo) == 52);
static_assert(offsetof(DataCtrl, nReserved) == 56);

// Data type flags (DataCtrl::nFlags).
inline constexpr std::int32_t kTypeIndex = 0x1;
inline constexpr std::int32_t kTypePlaced = 0x2;
inline constexpr std::int32_t kTypeIterator = 0x4;
inline constexpr std::int32_t kTypeBucket = 0x1000;

// Descriptor of one index vector.
struct IndexCtrl {
  std::int32_t nIndexType;
  std::int32_t nOwnerNo;
  std::int32_t lMaxRecs;
  std::int32_t lIndexLen;
  std::int32_t lOffsetIndex;
};
static_assert(sizeof(IndexCtrl) == 20);
static_assert(offsetof(IndexCtrl, nOwnerNo) == 4);
static_assert(offsetof(IndexCtrl, lMaxRecs) == 8);
static_assert(offsetof(IndexCtrl, lIndexLen) == 12);
static_assert(offsetof(IndexCtrl, lOffsetIndex) == 16);

// Kinds of index vector (IndexCtrl::nIndexType).
inline constexpr std::int32_t kVectorIndex = 1;
inline constexpr std::int32_t kVectorSection = 2;
inline constexpr std::int32_t kVectorIterator = 3;

inline constexpr int kMaxKeyLevels = 4;
// A section's keys have one to four levels (Section::nKeys).
constexpr bool valid_key_depth(std::int32_t keys) { return keys >= 1 && keys <= kMaxKeyLevels; }
inline constexpr int kSectionPlaces = 10;

// One section; words 16 to 30 are the image of the current key record.
struct Section {
  std::int32_t nSectionType;
  std::int32_t nFlags;
  std::int32_t nKeys;
  std::int32_t lOpenKeysHandle;
  std::int32_t nDataTypeIndexNo;
  std::int32_t nHashFstDataCtrlHandle;
  std::int32_t nBuckets;
  std::int32_t nBucketMsk;
  std::int32_t lFstKeyHandle;
  std::int32_t nFstKeyBucket;
  std::int32_t nMaxKeys[kMaxKeyLevels];
  std::int32_t nLstKeyBucket;
  std::int32_t lLstKeyHandle;
  std::int32_t nIndDataCtrl[kSectionPlaces];
  std::int32_t nKeysLst[kMaxKeyLevels];
  std::int32_t nKeyReserved;
};
static_assert(sizeof(Section) == 124);
static_assert(offsetof(Section, nKeys) == 8);
static_assert(offsetof(Section, lOpenKeysHandle) == 12);
static_assert(offsetof(Section, nDataTypeIndexNo) == 16);
static_assert(offsetof(Section, nHashFstDataCtrlHandle) == 20);
static_assert(offsetof(Section, nBuckets) == 24);
static_assert(offsetof(Section, nBucketMsk) == 28);
static_assert(offsetof(Section, lFstKeyHandle) == 32);
static_assert(offsetof(Section, nFstKeyBucket) == 36);
static_assert(offsetof(Section, nMaxKeys) == 40);
static_assert(offsetof(Section, nLstKeyBucket) == 56);
static_assert(offsetof(Section, lLstKeyHandle) == 60);
static_assert(offsetof(Section, nIndDataCtrl) == 64);
static_assert(offsetof(Section, nKeysLst) == 104);
static_assert(offsetof(Section, nKeyReserved) == 120);

// A key record in a hash bucket (60 bytes); the same words as
// Section::nIndDataCtrl .. Section::nKeyReserved.
struct KeyRecord {
  std::int32_t nIndDataCtrl[kSectionPlaces];
  std::int32_t nKey[kMaxKeyLevels];
  std::int32_t nReserved;
};
static_assert(sizeof(KeyRecord) == 60);
static_assert(offsetof(KeyRecord, nKey) == 40);
static_assert(offsetof(KeyRecord, nReserved) == 56);
static_assert(offsetof(Section, nKeyReserved) - offsetof(Section, nIndDataCtrl) ==
              offsetof(KeyRecord, nReserved));

// The bucket of a key: the wrap-around sum of its first nKeys values,
// masked with the section's bucket mask. A look-up searches this bucket
// only.
inline std::int32_t bucket_of(const Section& s, const std::int32_t* keys) {
  std::uint32_t sum = 0;
  for (std::int32_t l = 0; l < s.nKeys; ++l) sum += static_cast<std::uint32_t>(keys[l]);
  return static_cast<std::int32_t>(sum & static_cast<std::uint32_t>(s.nBucketMsk));
}

}  // namespace rb
