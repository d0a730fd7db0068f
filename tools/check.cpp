// recbase check: verifies a database file without changing it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "image.h"
#include "journal_file.h"
#include "messages.h"
#include "recbase.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

// Findings beyond this many per vector are summed up in one line.
constexpr int kFindingsPerVector = 5;

using Findings = std::vector<std::string>;

std::string range_text(std::int64_t offset, std::int64_t length) {
  return std::to_string(offset) + ".." + std::to_string(offset + length);
}

bool within(std::int64_t value, std::int64_t low, std::int64_t end) {
  return value >= low && value < end;
}

void check_counts(const rb::FileDef& d, Findings& out) {
  struct Count {
    const char* name;
    std::int32_t count;
    std::int32_t capacity;
  };
  const Count counts[] = {{"nDataTypes", d.nDataTypes, d.nDataTypesX},
                          {"nIndexCtrls", d.nIndexCtrls, d.nIndexCtrlsX},
                          {"nIndexVectors", d.nIndexVectors, d.nIndexVectorsX},
                          {"nSections", d.nSections, d.nSectionsX},
                          {"nIndDataTypes", d.nIndDataTypes, d.nIndDataTypesX},
                          {"nIndSections", d.nIndSections, std::max(d.nIndSectionsX, 0)}};
  for (const Count& c : counts) {
    if (c.count < 0 || c.count > c.capacity) {
      out.push_back(std::string(c.name) + " " + std::to_string(c.count) + " exceeds its capacity " +
                    std::to_string(c.capacity));
    }
  }
  if (d.nIndexCtrls != d.nIndexVectors) out.push_back("nIndexCtrls differs from nIndexVectors");
  struct Length {
    const char* name;
    std::int64_t stored;
    std::int64_t expected;
  };
  const Length lengths[] = {
      {"nLenDataCtrl", d.nLenDataCtrl, std::int64_t{d.nDataTypes} * d.nDataCtrlSize},
      {"nLenIndexCtrl", d.nLenIndexCtrl, std::int64_t{d.nIndexCtrls} * d.nIndexCtrlSize},
      {"nLenSection", d.nSections > 0 ? d.nLenSection : 0,
       std::int64_t{std::max(d.nSections, 0)} * d.nSectionSize}};
  for (const Length& l : lengths) {
    if (l.stored != l.expected) {
      out.push_back(std::string(l.name) + " " + std::to_string(l.stored) + " should be " +
                    std::to_string(l.expected));
    }
  }
}

// Identifier, record sizes, lengths and counts. False when the file is not
// a database file at all, so that nothing else is worth looking at.
bool check_header(const FileImage& image, Findings& out) {
  if (!image.header_complete()) {
    out.push_back("file is " + std::to_string(image.size()) + " bytes, shorter than the header");
    return false;
  }
  const rb::FileDef& d = image.def();
  if (std::memcmp(d.cFormat, rb::kFormatId, rb::kFormatIdCheckLen) != 0) {
    out.push_back("unknown format identifier (not \"TOVEK\")");
    return false;
  }
  if (d.nIndexCtrlSize != int(sizeof(rb::IndexCtrl)) ||
      d.nDataCtrlSize != int(sizeof(rb::DataCtrl)) || d.nSectionSize != int(sizeof(rb::Section))) {
    out.push_back("record sizes " + std::to_string(d.nIndexCtrlSize) + "/" +
                  std::to_string(d.nDataCtrlSize) + "/" + std::to_string(d.nSectionSize) +
                  " are not 20/64/124");
  }
  if ((d.nFlags & rb::kModeCreated) != 0) out.push_back("file was created and never closed");
  if (d.lFileLen > image.size()) {
    out.push_back("file is truncated: " + std::to_string(image.size()) +
                  " bytes on disk, lFileLen " + std::to_string(d.lFileLen));
  }
  if (d.lOffsetVectors < rb::kHeaderBlockSize || d.lOffsetVectors > d.lFileLen) {
    out.push_back("lOffsetVectors " + std::to_string(d.lOffsetVectors) + " lies outside 4096.." +
                  std::to_string(d.lFileLen));
  }
  check_counts(d, out);
  for (const std::string& line : image.unread()) out.push_back(line);
  return true;
}

// Tables and vectors inside the table area; no region overlapping another.
void check_regions(const FileImage& image, Findings& out) {
  const rb::FileDef& d = image.def();
  std::vector<Region> regions = file_regions(image);
  for (const Region& r : regions) {
    if (r.kind == RegionKind::kVector || r.kind == RegionKind::kTable) {
      if (r.length > 0 && (r.offset < data_end(d) || r.offset + r.length > d.lFileLen)) {
        out.push_back(r.name + " " + range_text(r.offset, r.length) +
                      " lies outside the table area " +
                      range_text(data_end(d), d.lFileLen - data_end(d)));
      }
    }
  }
  const std::vector<Region> placed = placed_records(image);
  regions.insert(regions.end(), placed.begin(), placed.end());
  regions.erase(
      std::remove_if(regions.begin(), regions.end(), [](const Region& r) { return r.length <= 0; }),
      regions.end());
  std::stable_sort(regions.begin(), regions.end(),
                   [](const Region& a, const Region& b) { return a.offset < b.offset; });
  const Region* furthest = nullptr;
  for (const Region& r : regions) {
    if (furthest != nullptr && r.offset < furthest->offset + furthest->length) {
      out.push_back(r.name + " " + range_text(r.offset, r.length) + " overlaps " + furthest->name +
                    " " + range_text(furthest->offset, furthest->length));
    }
    if (furthest == nullptr || r.offset + r.length > furthest->offset + furthest->length) {
      furthest = &r;
    }
  }
}

// A vector reference of data type k: in range, of the right kind and owner.
void check_vector_ref(const FileImage& image, std::size_t k, std::int32_t v, std::int32_t kind,
                      const std::string& name, Findings& out) {
  if (v == -1) return;
  if (!within(v, 0, std::int64_t(image.index_ctrls.size()))) {
    out.push_back(name + ": vector " + std::to_string(v) + " does not exist");
    return;
  }
  const rb::IndexCtrl& c = image.index_ctrls[static_cast<std::size_t>(v)];
  if (c.nIndexType != kind || c.nOwnerNo != std::int32_t(k)) {
    out.push_back(name + ": vector " + std::to_string(v) + " is a " + vector_kind(c.nIndexType) +
                  " vector of " + std::to_string(c.nOwnerNo));
  }
}

// Every vector of a known kind and owned by a data type or section.
void check_vectors(const FileImage& image, Findings& out) {
  for (std::size_t v = 0; v < image.index_ctrls.size(); ++v) {
    const rb::IndexCtrl& c = image.index_ctrls[v];
    const std::size_t owners =
        c.nIndexType == rb::kVectorSection ? image.sections.size() : image.types.size();
    if (c.nIndexType < rb::kVectorIndex || c.nIndexType > rb::kVectorIterator ||
        !within(c.nOwnerNo, 0, std::int64_t(owners)) || c.lMaxRecs < 0) {
      out.push_back("index vector " + std::to_string(v) + ": kind " + std::to_string(c.nIndexType) +
                    ", owner " + std::to_string(c.nOwnerNo) + ", lMaxRecs " +
                    std::to_string(c.lMaxRecs));
    }
  }
}

// Record sizes, vectors, end-to-end areas and counts of every data type.
void check_types(const FileImage& image, Findings& out) {
  const rb::FileDef& d = image.def();
  std::int64_t expected_offset = rb::kHeaderBlockSize;
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    const std::string name = type_label(image, k);
    if (dc.lOffsetData != expected_offset) {
      out.push_back(name + ": area at " + std::to_string(dc.lOffsetData) + ", expected at " +
                    std::to_string(expected_offset));
    }
    expected_offset = std::int64_t{dc.lOffsetData} + std::max(dc.lLenData, 0);
    // A declaration refused half-way leaves an entry without sizes or area.
    if (dc.nDataSize == 0 && dc.lMaxBlockRecs == 0 && dc.lLenData == 0) continue;
    if (dc.nDataSize < 1 || dc.nBlockSize < dc.nDataSize ||
        dc.lBlockRecs != dc.nBlockSize / dc.nDataSize || dc.lMaxBlockRecs < 0 ||
        dc.lLenData != std::int64_t{dc.lMaxBlockRecs} * dc.nBlockSize) {
      out.push_back(name + ": sizes do not fit (record " + std::to_string(dc.nDataSize) +
                    ", block " + std::to_string(dc.nBlockSize) + ", " +
                    std::to_string(dc.lMaxBlockRecs) + " blocks, length " +
                    std::to_string(dc.lLenData) + ")");
      continue;
    }
    check_vector_ref(image, k, dc.nIndexNo, rb::kVectorIndex, name, out);
    check_vector_ref(image, k, dc.nIteratorNo, rb::kVectorIterator, name, out);
    if ((dc.nFlags & rb::kTypeIndex) != 0 && dc.nIndexNo == -1) {
      out.push_back(name + ": indexed type without index vector");
    }
    if ((dc.nFlags & rb::kTypeIterator) != 0 && dc.nIteratorNo == -1) {
      out.push_back(name + ": iterator type without iterator vector");
    }
    if (!within(dc.nSectionIndexNo, -1, d.nSections)) {
      out.push_back(name + ": section index " + std::to_string(dc.nSectionIndexNo) +
                    " does not exist");
    }
    if ((dc.nFlags & rb::kTypePlaced) != 0 || dc.lFileRecs == 0) continue;
    if (dc.lFileRecs < 0 || dc.lFileRecs > area_slots(dc)) {
      out.push_back(name + ": " + std::to_string(dc.lFileRecs) + " records, area holds " +
                    std::to_string(area_slots(dc)));
    } else if (slot_offset(dc, dc.lFileRecs - 1) + dc.nDataSize > data_end(d)) {
      out.push_back(name + ": records beyond the end of the data area " +
                    std::to_string(data_end(d)));
    }
  }
}

// Entries of the index vectors inside the areas they point into.
void check_index_entries(const FileImage& image, Findings& out) {
  const std::int64_t end = data_end(image.def());
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    if ((dc.nFlags & rb::kTypeIndex) == 0 || dc.nDataSize < 1) continue;
    if (!within(dc.nIndexNo, 0, std::int64_t(image.vectors.size()))) continue;
    const std::vector<std::int32_t>& index = image.vectors[static_cast<std::size_t>(dc.nIndexNo)];
    const bool placed = (dc.nFlags & rb::kTypePlaced) != 0;
    const bool iterator = (dc.nFlags & rb::kTypeIterator) != 0;
    int found = 0;
    for (std::size_t rec = 0; rec < index.size(); ++rec) {
      const std::int64_t e = index[rec];
      if (e == -1) continue;
      const std::int64_t run =
          iterator ? std::max(image.vector_entry(dc.nIteratorNo, std::int64_t(rec)), 1) : 1;
      const bool inside = placed ? e >= rb::kHeaderBlockSize && e + dc.nDataSize <= end
                                 : e >= 0 && e + run <= area_slots(dc);
      if (inside) continue;
      if (++found <= kFindingsPerVector) {
        out.push_back(
            type_label(image, k) + ": record " + std::to_string(rec) + " at " +
            (placed ? "offset " : "slot ") + std::to_string(e) + " lies outside " +
            (placed ? "the data area" : "the area (" + std::to_string(area_slots(dc)) + " slots)"));
      }
    }
    if (found > kFindingsPerVector) {
      out.push_back("#" + std::to_string(k) + ": " + std::to_string(found - kFindingsPerVector) +
                    " more index entries outside the area");
    }
  }
}

// IndDataTypes and IndSections entries name records that exist and carry
// the number that leads to them.
void check_indirect(const FileImage& image, Findings& out) {
  for (std::size_t t = 0; t < image.ind_data_types.size(); ++t) {
    const std::int32_t k = image.ind_data_types[t];
    if (k == -1) continue;
    if (!within(k, 0, std::int64_t(image.types.size()))) {
      out.push_back("IndDataTypes entry " + std::to_string(t) + " names DataCtrl " +
                    std::to_string(k) + " of " + std::to_string(image.types.size()));
      continue;
    }
    const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(k)];
    if (dc.nType != std::int32_t(t) || (dc.nFlags & rb::kTypeBucket) != 0 ||
        dc.nSectionIndexNo != -1) {
      out.push_back("IndDataTypes entry " + std::to_string(t) + " names #" + std::to_string(k) +
                    " " + type_name(image, static_cast<std::size_t>(k)));
    }
  }
  for (std::size_t n = 0; n < image.ind_sections.size(); ++n) {
    const std::int32_t s = image.ind_sections[n];
    if (s == -1) continue;
    if (!within(s, 0, std::int64_t(image.sections.size()))) {
      out.push_back("IndSections entry " + std::to_string(n) + " names section index " +
                    std::to_string(s) + " of " + std::to_string(image.sections.size()));
    } else if (image.sections[static_cast<std::size_t>(s)].nSectionType != std::int32_t(n)) {
      out.push_back("IndSections entry " + std::to_string(n) + " names the section of number " +
                    std::to_string(image.sections[static_cast<std::size_t>(s)].nSectionType));
    }
  }
}

// Key depth, buckets and the data types the key records name.
void check_sections(const FileImage& image, Findings& out) {
  const auto types = std::int64_t(image.types.size());
  for (std::size_t s = 0; s < image.sections.size(); ++s) {
    const rb::Section& section = image.sections[s];
    const std::string name = "section " + std::to_string(section.nSectionType);
    if (section.nKeys < 1 || section.nKeys > rb::kMaxKeyLevels) {
      out.push_back(name + ": key depth " + std::to_string(section.nKeys));
    }
    check_vector_ref(image, s, section.nDataTypeIndexNo, rb::kVectorSection, name, out);
    if (section.nHashFstDataCtrlHandle == -1) continue;  // added without buckets
    if (section.nHashFstDataCtrlHandle < 0 || section.nBuckets < 1 ||
        std::int64_t{section.nHashFstDataCtrlHandle} + section.nBuckets > types) {
      out.push_back(name + ": buckets " + std::to_string(section.nHashFstDataCtrlHandle) + " + " +
                    std::to_string(section.nBuckets) + " lie outside the catalogue");
      continue;
    }
    for (std::int32_t b = 0; b < section.nBuckets; ++b) {
      const rb::DataCtrl& dc =
          image.types[static_cast<std::size_t>(section.nHashFstDataCtrlHandle + b)];
      if ((dc.nFlags & rb::kTypeBucket) == 0 || dc.nDataSize != int(sizeof(rb::KeyRecord))) {
        out.push_back(name + ": bucket " + std::to_string(b) + " is not a bucket type");
      }
    }
    for (const StoredKey& key : stored_keys(image, std::int32_t(s))) {
      for (std::int32_t k : key.image.nIndDataCtrl) {
        if (k != -1 &&
            (!within(k, 0, types) ||
             image.types[static_cast<std::size_t>(k)].nSectionIndexNo != std::int32_t(s))) {
          out.push_back(name + ": key record " + std::to_string(key.record) + " of bucket #" +
                        std::to_string(key.bucket) + " names DataCtrl " + std::to_string(k));
        }
      }
    }
  }
}

// Every key read through the library, the file opened read only.
void check_keys_readable(const FileImage& image, const std::string& path, Findings& out) {
  Library library;
  const std::int32_t file = library.open(path, path);
  if (file < 0) {
    out.push_back(library_failure("dbOpen", file));
    return;
  }
  std::int64_t total = 0;
  for (const rb::Section& section : image.sections) total += std::max(section.nBuckets, 0);
  Progress progress("reading keys", image.size(), total);
  std::int64_t done = 0;
  for (const rb::Section& section : image.sections) {
    if (section.nHashFstDataCtrlHandle < 0) continue;
    for (std::int32_t b = 0; b < section.nBuckets; ++b) {
      progress.update(++done);
      const std::int64_t d = std::int64_t{section.nHashFstDataCtrlHandle} + b;
      if (d >= std::int64_t(image.types.size())) break;
      const rb::DataCtrl& bucket = image.types[static_cast<std::size_t>(d)];
      if (bucket.nDataSize != int(sizeof(rb::KeyRecord))) continue;
      // More keys than the area holds are a finding of their own.
      for (std::int32_t n = 0; n < bucket.lFileRecs && n < area_slots(bucket); ++n) {
        rb::KeyRecord key{};
        const std::int32_t r = dbReadKey(file, std::int32_t(d), n, &key, sizeof key);
        if (r < 0) {
          out.push_back("key record " + std::to_string(n) + " of bucket #" + std::to_string(d) +
                        ": " + library_failure("dbReadKey", r));
        }
      }
    }
  }
}

// The journal beside the file: a finding when a rollback would change the
// file, a note when it restores nothing.
void check_journal(const JournalFile& j, const std::string& name, Findings& out,
                   std::string& note) {
  const std::string journal = journal_path(name);
  switch (j.state) {
    case JournalFile::State::none:
      break;
    case JournalFile::State::stale:
      note = journal + " is stale (" + j.why_stale +
             "): it restores nothing and is harmless; the next dbOpen removes it (keys are not "
             "read through the library, whose dbOpen would)";
      break;
    case JournalFile::State::unreadable:
      out.push_back(journal + " cannot be read: dbOpen refuses the file (-19) until it can");
      break;
    case JournalFile::State::pending: {
      const std::string saved = "committed length " + std::to_string(j.restored.length) +
                                " bytes, " + std::to_string(j.pages) +
                                (j.pages == 1 ? " saved page" : " saved pages");
      if (j.writer_at_work) {
        out.push_back(journal + " is in use: a writer holds the file and has changed it since " +
                      "its last commit (" + saved +
                      " so far); the checks below see the last committed state");
      } else {
        out.push_back(journal + " is pending: a writer was interrupted; the next dbOpen restores " +
                      "the last committed state (" + saved + "); the checks below see that state");
      }
      break;
    }
  }
}

}  // namespace

int run_check(const Args& args) {
  if (args.size() != 1) return fail(kExitUsage, "check: expected FILE (see recbase check --help)");
  const std::string path = absolute_path(args[0]);
  Workspace workspace;
  const JournalFile journal = read_journal(path);
  const bool pending = journal.state == JournalFile::State::pending;
  FileImage image;
  std::string error;
  if (!image.load(path, error, pending ? &journal.restored : nullptr)) {
    return fail(kExitUnreadable, args[0] + ": " + error);
  }
  Findings findings;
  std::string note;
  check_journal(journal, args[0], findings, note);
  const std::size_t journal_findings = findings.size();
  if (check_header(image, findings)) {
    check_regions(image, findings);
    check_vectors(image, findings);
    check_types(image, findings);
    check_index_entries(image, findings);
    check_indirect(image, findings);
    check_sections(image, findings);
    // The library's dbOpen would roll a journal back or remove it: with a
    // journal beside it the file stays as it is, its keys unread.
    if (journal.state == JournalFile::State::none) check_keys_readable(image, path, findings);
  }
  const char* name = args[0].c_str();
  if (!note.empty()) std::printf("%s: note: %s\n", name, note.c_str());
  for (const std::string& line : findings) std::printf("%s: %s\n", name, line.c_str());
  const std::string counts = "(" + std::to_string(image.types.size()) + " data types, " +
                             std::to_string(image.sections.size()) + " sections)";
  if (findings.empty()) {
    std::printf("%s: sound %s\n", name, counts.c_str());
    return kExitOk;
  }
  if (pending && findings.size() == journal_findings) {
    std::printf("%s: the last committed state is sound %s\n", name, counts.c_str());
  }
  return kExitFindings;
}

}  // namespace rbtool
