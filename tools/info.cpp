// recbase info: header, data types, sections and vectors of a file.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "commands.h"
#include "journal_file.h"
#include "layout.h"
#include "regions.h"
#include "session.h"

namespace rbtool {

namespace {

std::string time_text(std::int32_t stamp) {
  const std::time_t t = stamp;
  const char* text = std::ctime(&t);
  if (text == nullptr) return std::to_string(stamp);
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string mode_words(std::int32_t flags) {
  std::string words;
  if ((flags & rb::kModeWrite) != 0) words += " write";
  if ((flags & rb::kModeWriteLock) != 0) words += " lock";
  if ((flags & rb::kModeCreated) != 0) words += " created";
  return words.empty() ? " -" : words;
}

void print_header(const rb::FileLayout& image, const std::string& name) {
  const rb::FileDef& d = image.def;
  char format[sizeof d.cFormat + 1] = {};
  std::memcpy(format, d.cFormat, sizeof d.cFormat);
  std::printf("file            %s\n", name.c_str());
  std::printf("format          %s\n", format);
  std::printf("created         %s\n", time_text(d.tCreate).c_str());
  std::printf("updated         %s\n", time_text(d.tUpdate).c_str());
  std::printf("flags           0x%08x (%s)\n", static_cast<unsigned>(d.nFlags),
              mode_words(d.nFlags).c_str() + 1);
  std::printf("file length     %d (lFileLen), %s bytes on disk\n", d.lFileLen,
              std::to_string(image.size).c_str());
  std::printf("data area       4096..%s\n", std::to_string(data_end(d)).c_str());
  std::printf("table area      %s..%d\n", std::to_string(data_end(d)).c_str(), d.lFileLen);
  std::printf("data types      %d (capacity %d)\n", d.nDataTypes, d.nDataTypesX);
  std::printf("index vectors   %d (capacity %d)\n", d.nIndexVectors, d.nIndexVectorsX);
  std::printf("sections        %d (capacity %d)\n", d.nSections, d.nSectionsX);
  std::printf("IndDataTypes    %d entries at %d\n", d.nIndDataTypes, d.lOffsetIndDataTypes);
  std::printf("IndSections     %d entries at %d\n", d.nIndSections, d.lOffsetIndSections);
  std::printf(
      "tables          IndexCtrl %d bytes at %d, DataCtrl %d bytes at %d, Section %d bytes at %d\n",
      d.nLenIndexCtrl, d.lOffsetIndexCtrl, d.nLenDataCtrl, d.lOffsetDataCtrl, d.nLenSection,
      d.lOffsetSection);
}

void print_types(const rb::FileLayout& image) {
  std::printf("\ndata types\n");
  std::printf("  %4s  %-18s  %-15s  %6s  %6s  %8s  %10s  %10s\n", "#", "number", "flags", "size",
              "block", "records", "offset", "length");
  for (std::size_t k = 0; k < image.types.size(); ++k) {
    const rb::DataCtrl& dc = image.types[k];
    std::printf("  %4s  %-18s  %-15s  %6d  %6d  %8d  %10d  %10d\n", std::to_string(k).c_str(),
                type_name(image, k).c_str(), flag_words(dc.nFlags).c_str(), dc.nDataSize,
                dc.nBlockSize, dc.lFileRecs, dc.lOffsetData, dc.lLenData);
  }
}

void print_sections(const rb::FileLayout& image) {
  std::printf("\nsections\n");
  std::printf("  %5s  %6s  %4s  %7s  %9s\n", "index", "number", "keys", "buckets", "key count");
  for (std::size_t s = 0; s < image.sections.size(); ++s) {
    const rb::Section& section = image.sections[s];
    std::int64_t keys = 0;
    for (std::int32_t b = 0; section.nHashFstDataCtrlHandle >= 0 && b < section.nBuckets; ++b) {
      const std::int64_t d = std::int64_t{section.nHashFstDataCtrlHandle} + b;
      if (d >= std::int64_t(image.types.size())) break;
      keys += image.types[static_cast<std::size_t>(d)].lFileRecs;
    }
    const std::int32_t buckets = section.nHashFstDataCtrlHandle >= 0 ? section.nBuckets : 0;
    std::printf("  %5s  %6d  %4d  %7d  %9s\n", std::to_string(s).c_str(), section.nSectionType,
                section.nKeys, buckets, std::to_string(keys).c_str());
  }
}

void print_vectors(const rb::FileLayout& image) {
  std::printf("\nindex vectors\n");
  std::printf("  %4s  %-8s  %5s  %8s  %10s\n", "no", "kind", "owner", "length", "offset");
  for (std::size_t v = 0; v < image.index_ctrls.size(); ++v) {
    const rb::IndexCtrl& c = image.index_ctrls[v];
    std::printf("  %4s  %-8s  %5d  %8d  %10d\n", std::to_string(v).c_str(),
                vector_kind(c.nIndexType), c.nOwnerNo, c.lIndexLen, c.lOffsetIndex);
  }
}

}  // namespace

int run_info(const Args& args) {
  if (args.size() != 1) return fail(kExitUsage, "info: expected FILE (see recbase info --help)");
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(args[0], nullptr, image, findings, error)) {
    return fail(kExitUnreadable, args[0] + ": " + error);
  }
  const std::string note = journal_note(read_journal(args[0], false), args[0], false);
  if (!note.empty()) std::fprintf(stderr, "recbase: %s\n", note.c_str());
  if (!image.has_header) {
    return fail(kExitUnreadable, args[0] + ": not a database file (no TOVEK header)");
  }
  print_header(image, args[0]);
  print_types(image);
  print_sections(image);
  print_vectors(image);
  if (!findings.empty()) {
    std::fprintf(stderr, "recbase: %s: %s faults in the layout (see recbase check)\n",
                 args[0].c_str(), std::to_string(findings.size()).c_str());
  }
  return kExitOk;
}

}  // namespace rbtool
