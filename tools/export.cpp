// recbase export: the records of one data type, or of one place of a
// section for every key, with their record numbers.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "layout.h"
#include "messages.h"
#include "options.h"
#include "output.h"
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

// The options of a command line; kGoOn, or the exit code of a wrong one.
int parse_options(const Args& args, Options& options) {
  CommandLine line;
  const int status =
      parse_command_line("export", args, {{"format", 'f', true}, {"section", 's', true}},
                         {{"FILE", "TYPE"}, {}}, line);
  if (status != kGoOn) return status;
  std::size_t format = 0;
  if (!line.choice("format", {"csv", "jsonl", "hex"}, format) ||
      !line.number("section", 0, INT32_MAX, options.section)) {
    return kExitUsage;
  }
  options.format = static_cast<Format>(format);
  options.file = line.operands[0];
  const bool placed = line.has("section");
  if (!number_operand("export", placed ? "TYPE (a place of the section)" : "TYPE", line.operands[1],
                      0, placed ? rb::kSectionPlaces - 1 : INT32_MAX, options.type)) {
    return kExitUsage;
  }
  return kGoOn;
}

// The records in the chosen format, gathered in a large buffer: no
// formatted print per byte or per record.
class Writer {
 public:
  Writer(Format format, std::size_t key_levels, Output& out) : format_(format), out_(out) {
    if (format_ != Format::kCsv) return;
    for (std::size_t l = 0; l < key_levels; ++l) {
      out_.put("key");
      out_.put_int(static_cast<std::int64_t>(l));
      out_.put(',');
    }
    out_.put("record,sub,data\n");
  }

  // The key of the records that follow.
  void key(const std::vector<std::int32_t>& values) {
    key_.clear();
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) key_ += format_ == Format::kHex ? ' ' : ',';
      key_ += std::to_string(values[i]);
    }
  }

  // False once a write to the output has failed.
  bool record(std::int32_t rec, std::int32_t sub, const std::vector<unsigned char>& data) {
    switch (format_) {
      case Format::kCsv:
        if (!key_.empty()) {
          out_.put(key_);
          out_.put(',');
        }
        out_.put_int(rec);
        out_.put(',');
        out_.put_int(sub);
        out_.put(',');
        out_.put_hex(data.data(), data.size());
        out_.put('\n');
        break;
      case Format::kJsonl:
        out_.put('{');
        if (!key_.empty()) {
          out_.put("\"key\":[");
          out_.put(key_);
          out_.put("],");
        }
        out_.put("\"record\":");
        out_.put_int(rec);
        out_.put(",\"sub\":");
        out_.put_int(sub);
        out_.put(",\"data\":\"");
        out_.put_hex(data.data(), data.size());
        out_.put("\"}\n");
        break;
      case Format::kHex:
        out_.put("record ");
        out_.put_int(rec);
        out_.put(" sub ");
        out_.put_int(sub);
        if (!key_.empty()) {
          out_.put(" key ");
          out_.put(key_);
        }
        out_.put(" (");
        out_.put_int(static_cast<std::int64_t>(data.size()));
        out_.put(" bytes)\n");
        out_.put_hex_rows(data.data(), data.size());
        break;
    }
    return !out_.failed();
  }

  // Flushes the records and closes the output; false with the reason in
  // error when a byte did not reach it.
  bool close(std::string& error) { return out_.close(error); }

 private:
  Format format_;
  TextBuffer out_;
  std::string key_;
};

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

// What to export; false with the reason when the file lacks it.
bool find_sources(const rb::FileLayout& image, std::int32_t file, const Options& o,
                  std::vector<Source>& sources, std::size_t& levels, std::string& error) {
  if (o.section < 0) {
    const std::int32_t k = dbExistDataType(file, o.type);
    if (k < 0) {
      error = "no data type " + std::to_string(o.type) + " in " + o.file + " (" +
              error_message(DB_ERR_TYPE_UNDECLARED) + ")";
      return false;
    }
    sources.push_back({k, {}});
    return true;
  }
  const auto n = static_cast<std::size_t>(o.section);
  if (n >= image.ind_sections.size() || image.ind_sections[n] == -1) {
    error = "no section " + std::to_string(o.section) + " in " + o.file;
    return false;
  }
  std::int32_t max_keys[4];
  const std::int32_t keys = dbGetMaxKey(file, o.section, max_keys);
  if (keys < 0) {
    error =
        library_failure("section " + std::to_string(o.section) + " of " + o.file + " has no keys",
                        "dbGetMaxKey", keys);
    return false;
  }
  const std::int32_t depth = std::clamp(keys, 1, rb::kMaxKeyLevels);
  levels = static_cast<std::size_t>(depth);
  sources = section_sources(image, file, image.ind_sections[n], depth, o.type);
  if (sources.empty()) {
    error = "no key of section " + std::to_string(o.section) + " in " + o.file +
            " has a data type at place " + std::to_string(o.type);
    return false;
  }
  return true;
}

int export_source(const rb::FileLayout& image, std::int32_t file, const Source& source,
                  Writer& writer, const std::string& name) {
  if (source.k < 0 || static_cast<std::size_t>(source.k) >= image.types.size()) {
    return fail(kExitUnreadable, name + ": a key names DataCtrl " + std::to_string(source.k) +
                                     ", which the catalogue lacks (see recbase check " + name +
                                     ")");
  }
  const rb::DataCtrl& dc = image.types[static_cast<std::size_t>(source.k)];
  if (dc.nDataSize < 1 || dc.nDataSize > image.size) {
    return fail(kExitUnreadable, name + ": data type #" + std::to_string(source.k) +
                                     " has a record size of " + std::to_string(dc.nDataSize) +
                                     " bytes (see recbase check " + name + ")");
  }
  std::vector<unsigned char> data(static_cast<std::size_t>(dc.nDataSize));
  writer.key(source.key);
  Progress progress("exporting", image.size, dc.lMaxIndex);
  for (std::int32_t rec = 0; rec < dc.lMaxIndex; ++rec) {
    progress.update(rec + 1);
    const std::int64_t runs = stored_records(image, dc, rec);
    for (std::int32_t sub = 0; sub < runs; ++sub) {
      const std::int32_t r = dbRead(file, -1 - source.k, rec, sub, data.data(), dc.nDataSize);
      if (r < 0) {
        const std::string what = "cannot read record " + std::to_string(rec) +
                                 (sub > 0 ? " sub " + std::to_string(sub) : "") + " of " + name;
        return fail(kExitUnreadable, library_failure(what, "dbRead", r));
      }
      if (!writer.record(rec, sub, data)) {
        std::string error;
        writer.close(error);
        return fail(kExitUnreadable, error);
      }
    }
  }
  return kExitOk;
}

}  // namespace

int run_export(const Args& args) {
  Options o;
  if (const int status = parse_options(args, o); status != kGoOn) return status;
  const std::string path = absolute_path(o.file);
  Workspace workspace;
  // Opened first: the image then shows what the library reads, once it
  // has rolled back a journal an interrupted writer left.
  Library library;
  rb::FileLayout image;
  const std::int32_t file = open_database(library, path, o.file, image);
  if (file < 0) return kExitUnreadable;
  std::string error;
  std::vector<Source> sources;
  std::size_t levels = 0;
  if (!find_sources(image, file, o, sources, levels, error)) return fail(kExitUnreadable, error);
  Output out;
  out.open("-", false, error);
  Writer writer(o.format, levels, out);
  for (const Source& source : sources) {
    const int status = export_source(image, file, source, writer, o.file);
    if (status != kExitOk) return status;
  }
  if (!writer.close(error)) return fail(kExitUnreadable, error);
  return kExitOk;
}

}  // namespace rbtool
