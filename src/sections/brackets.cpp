// The section brackets: dbBeginSections .. dbEndSections define a section
// and keep it open as the file's open section; dbBeginSection ..
// dbEndSection add a key and keep it open as the section's open key.
#include <algorithm>

#include "file/lookup.h"
#include "recbase.h"
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
    // Each bucket is added as when this step called dbAddHashBucket: under
    // its name, on the file found with its stream as that function finds it.
    enter("dbAddHashBucket", file_no);
    const Lookup found = find_stream(file_no);
    const std::int32_t k = found ? add_hash_bucket(file_no, *found.file, i) : found.code;
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

}  // namespace

std::int32_t begin_sections(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t keys,
                            std::int32_t flags) {
  if (!valid_key_depth(keys)) return report(DB_ERR_BAD_KEY_DEPTH);
  // Added as when this step called dbAddSection: logged under its name
  // from here on (also the second record of its failure below).
  enter("dbAddSection", file_no);
  const std::int32_t i = add_section(file_no, f, no, flags);
  if (i < 0) return report(i);
  section_at(f, i)->nKeys = keys;
  if (const std::int32_t r = create_buckets(file_no, f, i); r < 0) return r;
  f.def.nOpenSectionHandle = i;
  return i;
}

std::int32_t end_sections(FileCtrl& f, std::int32_t i) {
  const Section* sec = section_at(f, i);
  if (sec == nullptr) return report(kBadSectionHandle);
  if (sec->lOpenKeysHandle != -1) return report(DB_ERR_KEY_STILL_OPEN);
  f.def.nOpenSectionHandle = -1;
  return i;
}

std::int32_t begin_section(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t* keys) {
  if (keys == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t i = section_of_number(f, no);
  if (i < 0) return report(kBadSectionNo);
  const Section& sec = *section_at(f, i);
  if (!has_buckets(f, sec)) return report(kSectionMismatch);
  std::fill(keys + sec.nKeys, keys + kMaxKeyLevels, -1);
  // Added as when this step called dbAddKey: under its name, on the file
  // found with its stream as that function finds it. The failure has been
  // reported there.
  enter("dbAddKey", file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return -1;
  return add_key(file_no, *found.file, i, keys) < 0 ? -1 : i;
}

std::int32_t end_section(FileCtrl& f, std::int32_t i) {
  Section* sec = section_at(f, i);
  if (sec == nullptr) return report(kBadSectionHandle);
  sec->lOpenKeysHandle = -1;
  return i;
}

}  // namespace rb
