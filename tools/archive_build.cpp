// Builds a database file from the items of a dump through the library's
// public functions: dbCreate with every numbered data type, dbWrite for
// their records, dbBeginSections for each section, dbAddKey for its keys in
// the order of their buckets, dbBeginDataS / dbWriteS / dbEndDataS for the
// data types at the places of each key.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "archive.h"
#include "file/journal.h"
#include "messages.h"
#include "recbase.h"

namespace rbtool {

namespace {

std::string type_text(const char* what, std::int32_t number) {
  return std::string(what) + " " + std::to_string(number);
}

// Why a description cannot be declared; empty when it can.
std::string description_fault(const TypeDecl& t, bool numbered) {
  const std::string name = type_text(numbered ? "type" : "place", t.number);
  if (numbered && t.number < 0) return name + ": a data type number is 0 or more";
  if (!numbered && (t.number < 0 || t.number >= rb::kSectionPlaces)) {
    return name + ": a place is 0 to 9";
  }
  if (t.size < 1)
    return name + ": size " + std::to_string(t.size) + " (records hold a byte or more)";
  if (t.block < t.size) {
    return name + ": block " + std::to_string(t.block) + " is smaller than a record of " +
           std::to_string(t.size) + " bytes";
  }
  if (numbered && t.initial < 0) return name + ": initial " + std::to_string(t.initial);
  return {};
}

}  // namespace

Builder::Builder(std::string path) : path_(std::move(path)) {}

Builder::~Builder() {
  if (!finished_) abandon();
}

void Builder::abandon() {
  if (file_ >= 0) dbClose(file_);
  file_ = -1;
  failed_ = true;
  if (!created_) return;
  created_ = false;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  std::filesystem::remove(path_ + rb::kJournalSuffix, ec);
}

bool Builder::database(const DatabaseDecl& d) {
  if (have_database_) return fail("a second database line");
  if ((d.mode & DB_MODE_WRITE) == 0) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "0x%08x", static_cast<unsigned>(d.mode));
    return fail(std::string("mode ") + mode + " lacks write access (0x2): no file is made so");
  }
  if (d.max_data_type < 0 || d.max_section < 0) {
    return fail("max-data-type and max-section are 0 or more");
  }
  database_ = d;
  database_.mode &= ~DB_MODE_CREATED;
  have_database_ = true;
  return true;
}

bool Builder::type(const TypeDecl& t) {
  if (file_ >= 0 || failed_) {
    return fail(type_text("type", t.number) +
                " comes after records or sections: every type line comes first");
  }
  if (const std::string why = description_fault(t, true); !why.empty()) return fail(why);
  if (numbered_.count(t.number) != 0) {
    return fail(type_text("type", t.number) + " is declared twice");
  }
  types_.push_back(t);
  numbered_[t.number] = Declared{t, {}};
  built_.types += 1;
  return true;
}

bool Builder::create() {
  if (file_ >= 0) return true;
  if (failed_) return fail("the file could not be made");
  if (!have_database_) return fail("no database line");
  failed_ = true;  // until dbCreate succeeded
  std::vector<DataDesc> descs;
  for (const TypeDecl& t : types_) {
    descs.push_back({t.number, flags_of(t.kind), t.size, t.block, t.initial});
  }
  dbSetMaxDataType(database_.max_data_type);
  dbSetMaxSection(database_.max_section);
  const std::int32_t r = dbCreate(path_.c_str(), static_cast<std::int32_t>(descs.size()),
                                  descs.empty() ? nullptr : descs.data(), 0, database_.mode);
  if (r < 0) return fail("cannot make " + path_ + ": " + library_failure("dbCreate", r));
  file_ = r;
  created_ = true;
  failed_ = false;
  return true;
}

bool Builder::in_order(Order& order, const TypeDecl& t, std::int32_t rec, std::int32_t sub,
                       const char* what) {
  const std::string name =
      type_text(what, t.number) + " record " + std::to_string(rec) + " sub " + std::to_string(sub);
  if (rec < 0 || sub < 0) return fail(name + ": numbers and sub-indices are 0 or more");
  const bool next_number = rec > order.rec && sub == 0;
  const bool next_sub = t.kind == Kind::kIterator && rec == order.rec && sub == order.sub + 1;
  if (!next_number && !next_sub) {
    return fail(name + (t.kind == Kind::kIterator
                            ? " is out of order: record numbers rise, and the sub-indices of a "
                              "run follow each other from 0"
                            : " is out of order: record numbers rise, sub-indices are 0"));
  }
  order.rec = rec;
  order.sub = sub;
  return true;
}

bool Builder::record(std::int32_t type, std::int32_t rec, std::int32_t sub,
                     const std::vector<unsigned char>& data) {
  if (!create() || !end_input()) return false;
  const auto found = numbered_.find(type);
  if (found == numbered_.end()) {
    return fail("record of " + type_text("type", type) + ", which no type line declares");
  }
  Declared& declared = found->second;
  if (static_cast<std::int64_t>(data.size()) != declared.decl.size) {
    return fail(type_text("type", type) + " record " + std::to_string(rec) + ": " +
                std::to_string(data.size()) + " bytes, the type's records have " +
                std::to_string(declared.decl.size));
  }
  if (!in_order(declared.order, declared.decl, rec, sub, "type")) return false;
  const std::int32_t r = dbWrite(file_, type, rec, sub, data.data());
  if (r < 0) {
    return fail(type_text("type", type) + " record " + std::to_string(rec) + " sub " +
                std::to_string(sub) + ": " + library_failure("dbWrite", r));
  }
  built_.records += 1;
  return true;
}

bool Builder::end_input() {
  if (!input_open_) return true;
  input_open_ = false;
  const std::int32_t r = dbEndDataS(file_);
  return r >= 0 || fail(library_failure("dbEndDataS", r));
}

bool Builder::end_key() {
  if (!end_input()) return false;
  if (!key_open_) return true;
  key_open_ = false;
  const std::int32_t r = dbEndSection(file_, section_index_);
  return r >= 0 || fail(library_failure("dbEndSection", r));
}

bool Builder::end_section() {
  if (!end_key()) return false;
  if (section_index_ < 0) return true;
  const std::int32_t index = section_index_;
  section_index_ = -1;
  if (section_.keys == 0) return true;
  const std::int32_t r = dbEndSections(file_, index);
  return r >= 0 || fail(library_failure("dbEndSections", r));
}

bool Builder::section(const SectionDecl& s) {
  if (!create() || !end_section()) return false;
  const std::string name = type_text("section", s.number);
  if (s.number < 0) return fail(name + ": section numbers are 0 or more");
  if (section_numbers_.count(s.number) != 0) return fail(name + " comes twice");
  section_numbers_[s.number] = true;
  section_ = s;
  std::int32_t r = 0;
  if (s.keys == 0) {
    r = dbAddSection(file_, s.number, s.flags);
    if (r < 0) return fail(name + ": " + library_failure("dbAddSection", r));
  } else {
    dbSetBucket(s.buckets);
    dbSetBucketMsk(s.mask);
    dbSetBucketBlock(s.bucket_block);
    r = dbBeginSections(file_, s.number, s.keys, s.flags);
    if (r < 0) return fail(name + ": " + library_failure("dbBeginSections", r));
  }
  section_index_ = r;
  built_.sections += 1;
  return true;
}

bool Builder::key(const KeyValues& values) {
  if (!create() || !end_key()) return false;
  if (section_index_ < 0) return fail("a key before any section line");
  if (section_.keys == 0) {
    return fail(type_text("section", section_.number) + " has no buckets (keys=0): no key fits");
  }
  KeyValues copy = values;
  const std::int32_t r = dbAddKey(file_, section_index_, copy.data());
  if (r < 0) return fail(library_failure("dbAddKey", r));
  key_open_ = true;
  places_used_.fill(false);
  built_.keys += 1;
  return true;
}

bool Builder::place(const TypeDecl& t) {
  if (!create() || !end_input()) return false;
  if (!key_open_) return fail(type_text("place", t.number) + " outside a key");
  if (const std::string why = description_fault(t, false); !why.empty()) return fail(why);
  if (places_used_[static_cast<std::size_t>(t.number)]) {
    return fail(type_text("place", t.number) + " comes twice in one key");
  }
  places_used_[static_cast<std::size_t>(t.number)] = true;
  const DataDesc desc{t.number, flags_of(t.kind), t.size, t.block, 0};
  const std::int32_t r = dbBeginDataS(file_, &desc, section_.number);
  if (r < 0) {
    return fail(type_text("place", t.number) + ": " + library_failure("dbBeginDataS", r));
  }
  input_open_ = true;
  place_ = Declared{t, {}};
  built_.places += 1;
  return true;
}

bool Builder::place_record(std::int32_t place, std::int32_t rec, std::int32_t sub,
                           const std::vector<unsigned char>& data) {
  if (!create()) return false;
  if (!input_open_ || place != place_.decl.number) {
    return fail("record of " + type_text("place", place) + " outside its place line");
  }
  if (static_cast<std::int64_t>(data.size()) != place_.decl.size) {
    return fail(type_text("place", place) + " record " + std::to_string(rec) + ": " +
                std::to_string(data.size()) + " bytes, the type's records have " +
                std::to_string(place_.decl.size));
  }
  if (!in_order(place_.order, place_.decl, rec, sub, "place")) return false;
  const std::int32_t r =
      dbWriteS(file_, place, rec, sub, data.data(), place_.decl.size, section_.number);
  if (r < 0) {
    return fail(type_text("place", place) + " record " + std::to_string(rec) + " sub " +
                std::to_string(sub) + ": " + library_failure("dbWriteS", r));
  }
  built_.records += 1;
  return true;
}

bool Builder::end(const Totals& totals) {
  if (!create() || !end_section()) return false;
  if (!(totals == built_)) {
    const auto count = [](std::int64_t n, const char* what) {
      return std::to_string(n) + " " + what;
    };
    const auto all = [&](const Totals& t) {
      return count(t.types, "types, ") + count(t.places, "places, ") +
             count(t.records, "records, ") + count(t.sections, "sections, ") +
             count(t.keys, "keys");
    };
    return fail("the end line counts " + all(totals) + "; the text holds " + all(built_));
  }
  const std::int32_t r = dbClose(file_);
  file_ = -1;
  if (r != 4096) {
    failed_ = true;
    return fail(library_failure("dbClose", r));
  }
  finished_ = true;
  return true;
}

}  // namespace rbtool
