// recbase export: the records of one data type, or of one place of a
// section for every key, with their record numbers.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "layout.h"
#include "messages.h"
#include "recbase.h"
#include "session.h"

namespace rbtool {

namespace {

enum class Format { kCsv, kJsonl, kHex };

struct Options {
  std::string file;
  std::int32_t type = 0;
  std::int32_t section = -1;  // -1: a data type number, not a section place
  Format format = Format::kCsv;
};

// One catalogue entry to export, with the key it belongs to.
struct Source {
  std::int32_t k;
  std::vector<std::int32_t> key;  // empty for a numbered data type
};

bool parse_options(const Args& args, Options& options) {
  std::size_t positional = 0;
  bool type_ok = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--format" && has_value) {
      const std::string& f = args[++i];
      if (f == "csv") {
        options.format = Format::kCsv;
      } else if (f == "jsonl") {
        options.format = Format::kJsonl;
      } else if (f == "hex") {
        options.format = Format::kHex;
      } else {
        return false;
      }
    } else if (a == "--section" && has_value) {
      if (!parse_int(args[++i], options.section) || options.section < 0) return false;
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else if (positional++ == 0) {
      options.file = a;
    } else {
      type_ok = positional == 2 && parse_int(a, options.type);
    }
  }
  return positional == 2 && type_ok;
}

std::string hex(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::string joined(const std::vector<std::int32_t>& values, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    text += (i == 0 ? "" : separator) + std::to_string(values[i]);
  }
  return text;
}

class Writer {
 public:
  Writer(Format format, std::size_t key_levels) : format_(format) {
    if (format_ != Format::kCsv) return;
    for (std::size_t l = 0; l < key_levels; ++l) std::printf("key%d,", static_cast<int>(l));
    std::printf("record,sub,data\n");
  }

  void record(const Source& source, std::int32_t rec, std::int32_t sub,
              const std::vector<unsigned char>& data) const {
    const std::string key = joined(source.key, ",");
    switch (format_) {
      case Format::kCsv:
        std::printf("%s%s%d,%d,%s\n", key.c_str(), key.empty() ? "" : ",", rec, sub,
                    hex(data).c_str());
        break;
      case Format::kJsonl:
        std::printf("{%s%s%s\"record\":%d,\"sub\":%d,\"data\":\"%s\"}\n",
                    key.empty() ? "" : "\"key\":[", key.c_str(), key.empty() ? "" : "],", rec, sub,
                    hex(data).c_str());
        break;
      case Format::kHex:
        hex_dump(source, rec, sub, data);
        break;
    }
  }

 private:
  static void hex_dump(const Source& source, std::int32_t rec, std::int32_t sub,
                       const std::vector<unsigned char>& data) {
    std::printf("record %d sub %d", rec, sub);
    if (!source.key.empty()) std::printf(" key %s", joined(source.key, " ").c_str());
    std::printf(" (%s bytes)\n", std::to_string(data.size()).c_str());
    for (std::size_t row = 0; row < data.size(); row += 16) {
      std::string bytes;
      std::string chars;
      for (std::size_t i = row; i < row + 16 && i < data.size(); ++i) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x ", data[i]);
        bytes += cell;
        chars += (data[i] >= 32 && data[i] < 127) ? static_cast<char>(data[i]) : '.';
      }
      std::printf("  %06x  %-48s |%s|\n", static_cast<unsigned>(row), bytes.c_str(), chars.c_str());
    }
  }

  Format format_;
};

// Records stored under rec: the run length of an iterator type, else 1 or 0.
std::int32_t record_runs(const rb::FileLayout& image, const rb::DataCtrl& dc, std::int32_t rec) {
  if ((dc.nFlags & rb::kTypeIndex) == 0) return rec < dc.lFileRecs ? 1 : 0;
  if (vector_entry(image, dc.nIndexNo, rec) == -1) return 0;
  if ((dc.nFlags & rb::kTypeIterator) == 0) return 1;
  return std::max(vector_entry(image, dc.nIteratorNo, rec), 0);
}

// The key records of a section in key order (level 0 fastest), with the
// catalogue entry at place; keys without a data type there are left out.
std::vector<Source> section_sources(const rb::FileLayout& image, std::int32_t file, std::int32_t s,
                                    std::int32_t keys, std::int32_t place) {
  std::vector<Source> sources;
  if (s < 0 || static_cast<std::size_t>(s) >= image.sections.size()) return sources;
  const rb::Section& section = image.sections[static_cast<std::size_t>(s)];
  for (std::int32_t b = 0; section.nHashFstDataCtrlHandle >= 0 && b < section.nBuckets; ++b) {
    const std::int32_t d = section.nHashFstDataCtrlHandle + b;
    if (static_cast<std::size_t>(d) >= image.types.size()) break;
    const rb::DataCtrl& bucket = image.types[static_cast<std::size_t>(d)];
    for (std::int32_t n = 0; n < bucket.lFileRecs; ++n) {
      rb::KeyRecord key{};
      const std::int32_t k =
          dbReadKey(file, d, n, &key, sizeof key) < 0 ? -1 : key.nIndDataCtrl[place];
      if (k == -1) continue;
      sources.push_back({k, std::vector<std::int32_t>(key.nKey, key.nKey + keys)});
    }
  }
  std::stable_sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
    return std::lexicographical_compare(a.key.rbegin(), a.key.rend(), b.key.rbegin(), b.key.rend());
  });
  return sources;
}

// What to export, or a failure message.
bool find_sources(const rb::FileLayout& image, std::int32_t file, const Options& o,
                  std::vector<Source>& sources, std::size_t& levels, std::string& error) {
  if (o.section < 0) {
    const std::int32_t k = dbExistDataType(file, o.type);
    if (k < 0) {
      error = "data type " + std::to_string(o.type) + ": " + error_message(-50);
      return false;
    }
    sources.push_back({k, {}});
    return true;
  }
  std::int32_t max_keys[4];
  const std::int32_t keys = dbGetMaxKey(file, o.section, max_keys);
  if (keys < 0) {
    error = "section " + std::to_string(o.section) + ": " + library_failure("dbGetMaxKey", keys);
    return false;
  }
  if (o.type < 0 || o.type >= rb::kSectionPlaces) {
    error = "place " + std::to_string(o.type) + ": " + error_message(-90);
    return false;
  }
  if (static_cast<std::size_t>(o.section) >= image.ind_sections.size()) {
    error = "section " + std::to_string(o.section) + ": " + error_message(-90);
    return false;
  }
  const std::int32_t s = image.ind_sections[static_cast<std::size_t>(o.section)];
  const std::int32_t depth = std::clamp(keys, 1, rb::kMaxKeyLevels);
  levels = static_cast<std::size_t>(depth);
  sources = section_sources(image, file, s, depth, o.type);
  return true;
}

int export_source(const rb::FileLayout& image, std::int32_t file, const Source& source,
                  const Writer& writer, const std::string& name) {
  if (source.k < 0 || static_cast<std::size_t>(source.k) >= image.types.size()) {
    return fail(kExitUnreadable, name + ": DataCtrl " + std::to_string(source.k) + " missing");
  }
  const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(source.k)];
  if (dc.nDataSize < 1 || dc.nDataSize > image.size) {
    return fail(kExitUnreadable, name + ": record size " + std::to_string(dc.nDataSize));
  }
  std::vector<unsigned char> data(static_cast<std::size_t>(dc.nDataSize));
  Progress progress("exporting", image.size, dc.lMaxIndex);
  for (std::int32_t rec = 0; rec < dc.lMaxIndex; ++rec) {
    progress.update(rec + 1);
    const std::int32_t runs = record_runs(image, dc, rec);
    for (std::int32_t sub = 0; sub < runs; ++sub) {
      const std::int32_t r = dbRead(file, -1 - source.k, rec, sub, data.data(), dc.nDataSize);
      if (r < 0) {
        return fail(kExitUnreadable,
                    name + ": record " + std::to_string(rec) + ": " + library_failure("dbRead", r));
      }
      writer.record(source, rec, sub, data);
    }
  }
  return kExitOk;
}

}  // namespace

int run_export(const Args& args) {
  Options o;
  if (!parse_options(args, o))
    return fail(kExitUsage, "export: bad arguments (see recbase export --help)");
  const std::string path = absolute_path(o.file);
  Workspace workspace;
  // Opened first: the image then shows what the library reads, once it
  // has rolled back a journal an interrupted writer left.
  Library library;
  const std::int32_t file = library.open(path, o.file);
  if (file < 0) return fail(kExitUnreadable, o.file + ": " + library_failure("dbOpen", file));
  rb::FileLayout image;
  std::vector<rb::Finding> findings;
  std::string error;
  if (!load_file(path, nullptr, image, findings, error)) {
    return fail(kExitUnreadable, o.file + ": " + error);
  }
  std::vector<Source> sources;
  std::size_t levels = 0;
  if (!find_sources(image, file, o, sources, levels, error)) {
    return fail(kExitUnreadable, o.file + ": " + error);
  }
  const Writer writer(o.format, levels);
  for (const Source& source : sources) {
    const int status = export_source(image, file, source, writer, o.file);
    if (status != kExitOk) return status;
  }
  return kExitOk;
}

}  // namespace rbtool
