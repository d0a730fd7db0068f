// The section brackets: dbBeginSections .. dbEndSections define a section
// and keep it open as the file's open section; dbBeginSection ..
// dbEndSection add a key and keep it open as the section's open key.
#include <algorithm>

#include "file/lookup.h"
#include "sections/sections.h"

namespace rb {
namespace {

// Creates the section's buckets as consecutive DataCtrls. When one cannot
// be created the section is left without buckets (like a section added by
// dbAddSection alone), so that no key ever addresses a missing bucket; the
// buckets made so far stay in the catalogue unused.
std::int32_t create_buckets(std::int32_t file_no, FileCtrl& f, std::int32_t i) {
  const std::int32_t n = section_at(f, i)->nBuckets;
  section_at(f, i)->nBuckets = 0;
  for (std::int32_t b = 0; b < n; ++b) {
    section_at(f, i)->nBuckets = b + 1;
    const std::int32_t k = dbAddHashBucket(file_no, i);
    Section& sec = *section_at(f, i);
    if (b == 0) sec.nHashFstDataCtrlHandle = k;
    if (k < 0 || k != sec.nHashFstDataCtrlHandle + b) {
      sec.nHashFstDataCtrlHandle = -1;
      sec.nBuckets = n;
      sec.nKeys = -1;
      return k < 0 ? k : report(kSectionMismatch);
    }
  }
  return 0;
}

std::int32_t begin_sections(std::int32_t file_no, std::int32_t no, std::int32_t keys,
                            std::int32_t flags) {
  enter("dbBeginSections", file_no);
  const Lookup found = find_file(file_no);
  if (!found) return found.code;
  FileCtrl& f = *found.file;
  if (keys < 1 || keys > kMaxKeyLevels) return report(-3451);
  const std::int32_t i = dbAddSection(file_no, no, flags);
  if (i < 0) return report(i);
  section_at(f, i)->nKeys = keys;
  if (const std::int32_t r = create_buckets(file_no, f, i); r < 0) return r;
  f.def.nOpenSectionHandle = i;
  return i;
}

std::int32_t end_sections(std::int32_t file_no, std::int32_t i) {
  enter("dbEndSections", file_no);
  const Lookup found = find_file(file_no);
  if (!found) return found.code;
  const Section* sec = section_at(*found.file, i);
  if (sec == nullptr) return report(kBadSectionHandle);
  if (sec->lOpenKeysHandle != -1) return report(-9001);
  found.file->def.nOpenSectionHandle = -1;
  return i;
}

std::int32_t begin_section(std::int32_t file_no, std::int32_t no, std::int32_t* keys) {
  enter("dbBeginSection", file_no);
  const Lookup found = find_file(file_no);
  if (!found) return found.code;
  FileCtrl& f = *found.file;
  if (keys == nullptr) return report(-90);
  const std::int32_t i = section_of_number(f, no);
  if (i < 0) return report(kBadSectionNo);
  const Section& sec = *section_at(f, i);
  if (!has_buckets(f, sec)) return report(kSectionMismatch);
  std::fill(keys + sec.nKeys, keys + kMaxKeyLevels, -1);
  // dbAddKey has reported its failure.
  return dbAddKey(file_no, i, keys) < 0 ? -1 : i;
}

std::int32_t end_section(std::int32_t file_no, std::int32_t i) {
  enter("dbEndSection", file_no);
  const Lookup found = find_file(file_no);
  if (!found) return found.code;
  Section* sec = section_at(*found.file, i);
  if (sec == nullptr) return report(kBadSectionHandle);
  sec->lOpenKeysHandle = -1;
  return i;
}

}  // namespace
}  // namespace rb

extern "C" {

RECBASE_API std::int32_t RECBASE_CALL dbBeginSections(std::int32_t nFileNo, std::int32_t nSectionNo,
                                                      std::int32_t nKeys, std::int32_t nFlags) {
  return rb::begin_sections(nFileNo, nSectionNo, nKeys, nFlags);
}

RECBASE_API std::int32_t RECBASE_CALL dbEndSections(std::int32_t nFileNo,
                                                    std::int32_t nSectionIndex) {
  return rb::end_sections(nFileNo, nSectionIndex);
}

RECBASE_API std::int32_t RECBASE_CALL dbBeginSection(std::int32_t nFileNo, std::int32_t nSectionNo,
                                                     std::int32_t* pKeys) {
  return rb::begin_section(nFileNo, nSectionNo, pKeys);
}

RECBASE_API std::int32_t RECBASE_CALL dbEndSection(std::int32_t nFileNo,
                                                   std::int32_t nSectionIndex) {
  return rb::end_section(nFileNo, nSectionIndex);
}

}  // extern "C"
