// Process-wide state of the library.
//
// Everything lives between dbInit and dbExit: the SysData record
// (tunables and error counters), the Cashsystem with its table of cache
// slots, and the file table whose slot index is the file number. The log
// also keeps the name of the exported function entered last and the file
// number it works on. Nothing here is guarded: the host calls the library
// from one thread at a time.
#pragma once

#include <cstdint>

namespace rb {

struct FileCtrl;

struct SysData {
  std::int32_t lBufferLen;
  std::int32_t nDataCtrlExpand;
  std::int32_t nSectionExpand;
  std::int32_t nIndexCountExpand;
  std::int32_t nIndDataTypesExpand;
  std::int32_t nIndSectionsExpand;
  std::int32_t lIndexLenExpand;
  std::int32_t nErrorCount;
  std::int32_t nLastError;
  std::int32_t nMaxDataType;
  std::int32_t nMaxSection;
  std::int32_t nBucketBlock;
  std::int32_t nBucket;
  std::int32_t nBucketMsk;
};

inline constexpr SysData kSysDataDefaults = {
    32767,  // lBufferLen
    10,     // nDataCtrlExpand
    5,      // nSectionExpand
    10,     // nIndexCountExpand
    20,     // nIndDataTypesExpand
    10,     // nIndSectionsExpand
    100,    // lIndexLenExpand
    0,      // nErrorCount
    0,      // nLastError
    4096,   // nMaxDataType
    5,      // nMaxSection
    4096,   // nBucketBlock
    16,     // nBucket
    15,     // nBucketMsk
};

// One cache slot. A slot is in use exactly when pBuffer is set. The bytes
// are either the slot's own buffer or, for a clean block read where the
// file is mapped, the file's bytes in place (a view): a view is never
// written to and needs no copy. The own buffer outlives the blocks the slot
// holds, so that taking a slot for the next block allocates nothing.
struct CashCtrl {
  std::int32_t nFileNo;
  std::int32_t nDataType;
  std::int32_t nFlags;  // kCashDirty
  std::int32_t lOffsetData;
  std::int32_t lLenData;
  unsigned char* pBuffer;
  unsigned char* pOwn = nullptr;  // lOwnLen bytes of the heap, or null
  std::int32_t lOwnLen = 0;
};
inline constexpr std::int32_t kCashDirty = 0x1;

inline bool slot_is_view(const CashCtrl& s) { return s.pBuffer != nullptr && s.pBuffer != s.pOwn; }

// Makes the slot free; its own buffer stays for the next block.
inline void vacate_slot(CashCtrl& s) {
  s.nFileNo = -1;
  s.nDataType = -1;
  s.nFlags = 0;
  s.lOffsetData = -1;
  s.lLenData = -1;
  s.pBuffer = nullptr;
}

// Makes the slot free and gives its own buffer back to the heap.
void release_slot(CashCtrl& s);

struct Cashsystem {
  std::int32_t nCashBuffers;
  std::int32_t nLastCashBuffer;
  std::int32_t nFiles;
};

struct Library {
  SysData* sys = nullptr;
  Cashsystem* cash = nullptr;
  CashCtrl** buffers = nullptr;  // nCashBuffers slots
  FileCtrl** files = nullptr;    // nFiles slots, null = empty
  const char* cFunction = "";
  std::int32_t nCurrentFileNo = -1;
};

// The one instance.
inline Library g_lib;

inline bool initialised() { return g_lib.cash != nullptr; }

// Entry convention: an exported operation records its name and file number
// before it tests anything. Nothing restores them on return.
inline void enter(const char* name, std::int32_t file_no) {
  g_lib.cFunction = name;
  g_lib.nCurrentFileNo = file_no;
}
inline void enter_name(const char* name) { g_lib.cFunction = name; }

// The FileCtrl of an open file, or null when the library is not
// initialised, the number lies outside the file table or the slot is empty.
inline FileCtrl* file_at(std::int32_t file_no) {
  if (g_lib.cash == nullptr || g_lib.files == nullptr) return nullptr;
  if (file_no < 0 || file_no >= g_lib.cash->nFiles) return nullptr;
  return g_lib.files[file_no];
}

// ---- the library's life and tunables ---------------------------
// The API layer (src/api/state.cpp) records the exported name first.

inline constexpr const char kLibVersion[] = "1.01.0000 - 10.09.05";

// Sets a tunable of SysData and returns its old value; -4 before dbInit.
std::int32_t swap_tunable(std::int32_t SysData::*field, std::int32_t value);

// A tunable or counter of SysData; -4 before dbInit.
std::int32_t get_tunable(std::int32_t SysData::*field);

}  // namespace rb
