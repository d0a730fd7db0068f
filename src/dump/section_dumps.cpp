// Text dumps of a Section record, of the keys in a section's hash buckets,
// of the cache slots in use and of a positioned transfer. Like the
// structure dumps they append to "tovek.tst", change nothing else and do
// not record themselves as the current function of the log.
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "dump/dump_file.h"
#include "dump/dumps.h"
#include "file/lookup.h"
#include "recbase.h"
#include "records/record_io.h"

namespace rb {
namespace {

// Stands for a section number outside the IndSections vector.
inline constexpr std::int32_t kOutsideVector = INT32_MIN;

// The section index a dump is asked for: the number itself, or its
// IndSections entry when indirect (-1 where the number has no section).
std::int32_t section_index(const FileCtrl& f, std::int32_t number, std::int32_t indirect) {
  if (indirect == 0) return number;
  if (number < 0 || number >= ind_sections_len(f)) return kOutsideVector;
  return f.pIndSections[number];
}

// Number of key levels a section's lines show: nKeys, kept inside 0..4.
int shown_levels(const Section& s) { return std::clamp(s.nKeys, 0, kMaxKeyLevels); }

void section_lines(std::FILE* out, std::int32_t file_no, std::int32_t index, const Section& s) {
  std::fprintf(out, "\n     Datei %d, Sectionindex %d, Sectiontyp: %d\n", as_int(file_no),
               as_int(index), as_int(s.nSectionType));
  std::fprintf(out, "       Kennungen...........................(nFlags).: %x\n", as_hex(s.nFlags));
  std::fprintf(out, "       Verschachtelungstiefe................(nKeys).: %9d\n", as_int(s.nKeys));
  std::fprintf(out, "       Geoeffneter Key............(lOpenKeysHandle).: %9ld\n",
               as_long(s.lOpenKeysHandle));
  std::fprintf(out, "       Indexnummer...............(nDataTypeIndexNo).: %9d\n",
               as_int(s.nDataTypeIndexNo));
  std::fprintf(out, "       1. Hashlistenhandle.(nHashFstDataCtrlHandle).: %9d\n",
               as_int(s.nHashFstDataCtrlHandle));
  std::fprintf(out, "       Maximale Keywerte.................(nMaxKeys).: ");
  for (int l = 0; l < shown_levels(s); ++l) std::fprintf(out, "%8d", as_int(s.nMaxKeys[l]));
  std::fprintf(out, "\n");
  std::fprintf(out, "       Keys des letzten Zugriffs.........(nKeysLst).: ");
  for (int l = 0; l < shown_levels(s); ++l) std::fprintf(out, "%8d", as_int(s.nKeysLst[l]));
  std::fprintf(out, "\n");
  std::fprintf(out, "       Letzte Section-DataCtrl.......(nIndDataCtrl).: ");
  for (const std::int32_t k : s.nIndDataCtrl) std::fprintf(out, " %8d", as_int(k));
  std::fprintf(out, "\n");
  std::fprintf(out, "       Erster Sectionhandle.........(lFstKeyHandle).: %9d\n",
               as_int(s.lFstKeyHandle));
  std::fprintf(out, "       Erster Buckethandle..........(nFstKeyBucket).: %9d\n",
               as_int(s.nFstKeyBucket));
  std::fprintf(out, "       Letzter Sectionhandle........(lLstKeyHandle).: %9ld\n",
               as_long(s.lLstKeyHandle));
  std::fprintf(out, "       Letzter Buckethandle.........(nLstKeyBucket).: %9d\n",
               as_int(s.nLstKeyBucket));
}

}  // namespace

std::int32_t dump_section(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                          std::int32_t indirect) {
  const std::int32_t index = section_index(f, number, indirect);
  const Section* s = section_at(f, index);
  if (s == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  section_lines(dump.get(), file_no, index, *s);
  return 0;
}

namespace {

// True when every bucket of the section is a DataCtrl of the catalogue
// that holds key records (a larger record would not fit the read buffer).
bool buckets_exist(FileCtrl& f, const Section& s) {
  if (s.nBuckets < 0) return false;
  for (std::int32_t b = 0; b < s.nBuckets; ++b) {
    const std::int64_t k = static_cast<std::int64_t>(s.nHashFstDataCtrlHandle) + b;
    const DataCtrl* bucket = k <= INT32_MAX ? data_ctrl(f, static_cast<std::int32_t>(k)) : nullptr;
    if (bucket == nullptr || bucket->nDataSize != static_cast<std::int32_t>(sizeof(KeyRecord))) {
      return false;
    }
  }
  return true;
}

// The key lines of bucket DataCtrl k. A key record that cannot be read is
// shown with its values zeroed; the read has logged why. Each record is
// read as when this step called dbReadKey: under its name, from the file
// found with its stream as that function finds it.
void bucket_keys(std::FILE* out, std::int32_t file_no, FileCtrl& f, std::int32_t k) {
  const DataCtrl* bucket = data_ctrl(f, k);
  const std::int32_t count = bucket != nullptr ? bucket->lFileRecs : 0;
  for (std::int32_t n = 0; n < count; ++n) {
    KeyRecord key{};
    enter("dbReadKey", file_no);
    const Lookup found = find_stream(file_no, -1);
    if (!found || read_key(file_no, *found.file, k, n, &key) < 0) key = {};
    std::fprintf(out, "        %5ld %5d - %5d %5d %5d %5d %5d %5d %5d %5d\n", as_long(n), as_int(k),
                 as_int(key.nKey[0]), as_int(key.nKey[1]), as_int(key.nKey[2]), as_int(key.nKey[3]),
                 as_int(key.nIndDataCtrl[0]), as_int(key.nIndDataCtrl[1]),
                 as_int(key.nIndDataCtrl[2]), as_int(key.nIndDataCtrl[3]));
  }
}

std::int32_t no_section_line(std::int32_t file_no, std::int32_t number) {
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::fprintf(dump.get(), "\n     Datei %d, nSection %d: Es wurde keine Section definiert.\n",
               as_int(file_no), as_int(number));
  return 0;
}

}  // namespace

std::int32_t dump_section_keys(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                               std::int32_t indirect) {
  const std::int32_t index = section_index(f, number, indirect);
  if (index == -1) return no_section_line(file_no, number);
  const Section* s = section_at(f, index);
  if (s == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (!buckets_exist(f, *s)) return report(DB_ERR_BAD_ARGUMENT);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::FILE* out = dump.get();
  std::fprintf(out, "\n     Datei %d, Sectionindex %d, Sectiontyp: %d\n", as_int(file_no),
               as_int(index), as_int(s->nSectionType));
  // The reads below may move the tables; the section is copied first.
  const Section sec = *s;
  for (std::int32_t b = 0; b < sec.nBuckets; ++b) {
    std::fprintf(out, "       Hashbucket %d\n", as_int(b));
    bucket_keys(out, file_no, f, sec.nHashFstDataCtrlHandle + b);
  }
  return 1;
}

namespace {

void cash_lines(std::FILE* out, std::int32_t slot, const CashCtrl& c) {
  std::fprintf(out, "     Cashcontrol....................................: %d\n", as_int(slot + 1));
  std::fprintf(out, "       Dateihandle........................(nFileNo).: %d\n",
               as_int(c.nFileNo));
  std::fprintf(out, "       Indirekter Datentypzeiger........(nDataType).: %d\n",
               as_int(c.nDataType));
  std::fprintf(out, "       Flags...............................(nFlags).: %x\n", as_hex(c.nFlags));
  std::fprintf(out, "       Offset in Datei................(lOffsetData).: %9ld (%X) Bytes\n",
               as_long(c.lOffsetData), as_hex(c.lOffsetData));
  std::fprintf(out, "       Laenge der Daten in Datei.........(lLenData).: %9ld Bytes\n",
               as_long(c.lLenData));
  // At least nine columns; a 64-bit address takes as many as it needs.
  std::fprintf(out, "       Bufferadresse......................(pBuffer).: %9lx\n",
               static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(c.pBuffer)));
}

}  // namespace

std::int32_t dump_cash_ctrl() {
  if (!initialised() || g_lib.buffers == nullptr) return DB_ERR_NO_CASH;
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  for (std::int32_t i = 0; i < g_lib.cash->nCashBuffers; ++i) {
    const CashCtrl* c = g_lib.buffers[i];
    if (c != nullptr && c->pBuffer != nullptr) cash_lines(dump.get(), i, *c);
  }
  return 0;
}

std::int32_t dump_io_ctrl(std::int32_t offset, std::int32_t length, const char* text) {
  if (!initialised()) return DB_ERR_NO_CASH;
  const FileCtrl* f = file_at(g_lib.nCurrentFileNo);
  if (f == nullptr) return report(DB_ERR_NO_FILE);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::FILE* out = dump.get();
  const FileDef& def = f->def;
  std::fprintf(out, "==> W-IO      : %s\n", text != nullptr ? text : "");
  std::fprintf(out, "    Offset    : %10d (%X)   /  Laenge : %10d (%X)\n", as_int(offset),
               as_hex(offset), as_int(length), as_hex(length));
  std::fprintf(out, "    lFileLen      : %10d (%X)\n", as_int(def.lFileLen), as_hex(def.lFileLen));
  std::fprintf(out, "    lOffsetVectors: %10d (%X)\n", as_int(def.lOffsetVectors),
               as_hex(def.lOffsetVectors));
  return 0;
}

}  // namespace rb
