// The Section table and the IndSections vector: sections are appended under
// the caller's section numbers and never removed; both tables grow by fixed
// steps and keep every entry across growth.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "file/lookup.h"
#include "frame/heap.h"
#include "recbase.h"
#include "records/index_vectors.h"
#include "sections/sections.h"

namespace rb {

std::int32_t section_of_number(FileCtrl& f, std::int32_t no) {
  if (no < 0 || no >= ind_sections_len(f)) return -1;
  const std::int32_t s = f.pIndSections[no];
  return section_at(f, s) != nullptr ? s : -1;
}

std::int32_t stored_section_of_number(FileCtrl& f, std::int32_t no) {
  if (no >= f.def.nIndSections) return -1;
  return section_of_number(f, no);
}

std::int32_t expand_sections(FileCtrl& f) {
  std::int64_t grown = static_cast<std::int64_t>(std::max(f.def.nSectionsX, 0)) +
                       std::max<std::int32_t>(1, g_lib.sys->nSectionExpand);
  grown = std::max<std::int64_t>(grown, static_cast<std::int64_t>(f.def.nSections) + 1);
  if (grown > INT32_MAX) return report(DB_ERR_SECTIONS_ALLOC);
  const auto capacity = static_cast<std::int32_t>(grown);
  if (!grow_table(f.pSection, f.nSectionCap, capacity, Section{})) {
    return report(DB_ERR_SECTIONS_ALLOC);
  }
  f.nSectionCap = f.def.nSectionsX = capacity;
  return capacity;
}

std::int32_t expand_ind_sections(FileCtrl& f, std::int32_t no) {
  const std::int32_t old = std::max(f.def.nIndSectionsX, 0);
  std::int64_t grown = static_cast<std::int64_t>(std::max(old, no)) +
                       std::max<std::int32_t>(0, g_lib.sys->nIndSectionsExpand);
  // The number asked for must fit, and the vector never gets shorter than
  // the nIndSections entries that record IO and the table writer use.
  grown = std::max({grown, static_cast<std::int64_t>(no) + 1,
                    static_cast<std::int64_t>(f.def.nIndSections),
                    static_cast<std::int64_t>(ind_sections_len(f))});
  if (grown > INT32_MAX) return report(DB_ERR_INDSECTIONS_ALLOC);
  // Before its first growth the vector of a new file holds nIndSections
  // entries (all -1); ind_sections_len covers both cases.
  if (!grow_table(f.pIndSections, ind_sections_len(f), grown, -1)) {
    return report(DB_ERR_INDSECTIONS_ALLOC);
  }
  f.nIndSectionsCap = f.def.nIndSectionsX = static_cast<std::int32_t>(grown);
  return f.def.nIndSectionsX;
}

namespace {

void init_section(Section& s, std::int32_t no, std::int32_t flags) {
  s.nSectionType = no;
  s.nFlags = flags;
  s.nKeys = s.lOpenKeysHandle = s.nDataTypeIndexNo = s.nHashFstDataCtrlHandle = -1;
  s.nBuckets = g_lib.sys->nBucket;
  s.nBucketMsk = g_lib.sys->nBucketMsk;
  s.lFstKeyHandle = s.nFstKeyBucket = -1;
  std::fill(std::begin(s.nMaxKeys), std::end(s.nMaxKeys), -1);
  s.nLstKeyBucket = s.lLstKeyHandle = -1;
  std::fill(std::begin(s.nKeysLst), std::end(s.nKeysLst), -1);
}

}  // namespace

std::int32_t add_section(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t flags) {
  if (no < 0) return report(kBadSectionNo);
  const SysData& sys = *g_lib.sys;
  if (!bucket_layout_fits(sys.nBucket, sys.nBucketMsk, sys.nBucketBlock)) {
    return report(kSectionMismatch);
  }
  if (f.def.nSections >= f.def.nSectionsX || f.def.nSections >= f.nSectionCap) {
    // Logged as dbExpandSections from here on, as when this step called
    // the exported function.
    enter("dbExpandSections", file_no);
    if (const std::int32_t r = expand_sections(f); r < 0) return r;
  }
  // The vector grows before the section is counted, so that a failure
  // leaves no section behind that no number leads to.
  if (no >= f.def.nIndSectionsX || no >= ind_sections_len(f)) {
    // Logged as dbExpandIndSections from here on, as when this step called
    // the exported function.
    enter("dbExpandIndSections", file_no);
    if (const std::int32_t r = expand_ind_sections(f, no); r < 0) return r;
  }
  const std::int32_t i = f.def.nSections;
  f.def.nSections = i + 1;
  init_section(f.pSection[i], no, flags);
  // Added as when this step called dbAddIndexVector, under the name that
  // function records.
  enter("dbAddIndex", file_no);
  const std::int32_t v =
      add_index_vector(file_no, f, g_lib.sys->lIndexLenExpand, kVectorSection, i);
  if (v < 0) {
    f.def.nSections = i;
    return v;
  }
  f.pSection[i].nDataTypeIndexNo = v;
  f.pIndSections[no] = i;
  return i;
}

}  // namespace rb
