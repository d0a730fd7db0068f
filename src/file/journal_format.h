// The rollback journal on disk: its layout and the rules that say which of
// its bytes count. The journal of a writer (file/journal.h) and every
// reader that looks at a journal without the library (the command-line
// tool) go by these definitions.
//
// Journal file layout, little-endian 32-bit words:
//   JournalHeader                  36 bytes at offset 0
//   JournalRecord + lLen bytes     one per saved page, back to back
// The header counts only when magic, version, page size and committed
// length are right and its check word matches. A record counts only when
// it names a page of the committed image and its check word matches; the
// first that does not (a torn append) ends the journal, since the database
// page it guards had not been written yet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/crc32.h"

namespace rb {

inline constexpr std::int32_t kJournalPage = 4096;
inline constexpr char kJournalMagic[16] = "recbase journal";
inline constexpr std::int32_t kJournalVersion = 1;
inline constexpr char kJournalSuffix[] = "-journal";

struct JournalHeader {
  char cMagic[16];
  std::int32_t nVersion;
  std::int32_t nPageSize;
  std::int32_t lCommittedLen;  // length of the committed image
  std::uint32_t nSalt;         // differs from interval to interval
  std::uint32_t nCheck;        // checksum of the words before it
};
static_assert(sizeof(JournalHeader) == 36);
static_assert(offsetof(JournalHeader, nVersion) == 16);
static_assert(offsetof(JournalHeader, lCommittedLen) == 24);
static_assert(offsetof(JournalHeader, nCheck) == 32);

struct JournalRecord {
  std::int32_t lOffset;  // of the page in the database file
  std::int32_t lLen;     // bytes saved: the page, or the end of the image
  std::uint32_t nCheck;  // checksum of salt, offset, length and bytes
};
static_assert(sizeof(JournalRecord) == 12);
static_assert(offsetof(JournalRecord, nCheck) == 8);

// The check word of a header: the CRC-32 of the words before it.
inline std::uint32_t journal_header_check(const JournalHeader& h) {
  return crc32(0, &h, offsetof(JournalHeader, nCheck));
}

// The check word of a record: the CRC-32 of the interval's salt, the
// record's offset and length, and its lLen bytes.
inline std::uint32_t journal_record_check(std::uint32_t salt, const JournalRecord& r,
                                          const void* bytes) {
  std::uint32_t c = crc32(0, &salt, sizeof salt);
  c = crc32(c, &r, offsetof(JournalRecord, nCheck));
  return crc32(c, bytes, static_cast<std::size_t>(r.lLen));
}

// What keeps a header from counting, in the order they are judged.
enum class JournalHeaderFault { kNone, kMagic, kVersion, kPageSize, kCommittedLength, kCheck };

inline JournalHeaderFault journal_header_fault(const JournalHeader& h) {
  if (std::memcmp(h.cMagic, kJournalMagic, sizeof h.cMagic) != 0) {
    return JournalHeaderFault::kMagic;
  }
  if (h.nVersion != kJournalVersion) return JournalHeaderFault::kVersion;
  if (h.nPageSize != kJournalPage) return JournalHeaderFault::kPageSize;
  if (h.lCommittedLen < 0) return JournalHeaderFault::kCommittedLength;
  if (h.nCheck != journal_header_check(h)) return JournalHeaderFault::kCheck;
  return JournalHeaderFault::kNone;
}

// Whether a record names a page of a committed image of `committed` bytes
// (its bytes still to be held against its check word).
inline bool journal_record_fits(const JournalRecord& r, std::int32_t committed) {
  return r.lOffset >= 0 && r.lOffset % kJournalPage == 0 && r.lLen > 0 && r.lLen <= kJournalPage &&
         static_cast<std::int64_t>(r.lOffset) + r.lLen <= committed;
}

}  // namespace rb
