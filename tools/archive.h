// Whole databases as a stream of items: the text dump (docs/dump-format.md)
// that `dump --all` writes and `load` reads, and the copies made through
// memory by `compact` and `salvage`. A walk over a database file hands its
// items to a sink: the text writer, or the builder that makes a new file
// through the library's public functions.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "file/format.h"
#include "file/validate.h"
#include "output.h"

namespace rbtool {

// Kinds of data type, by their flags.
enum class Kind { kPlain, kIndexed, kIterator, kPlaced };

// The kind of a data type's flags; false for flags no host can declare.
bool kind_of_flags(std::int32_t flags, Kind& kind);
std::int32_t flags_of(Kind kind);
const char* kind_word(Kind kind);
bool kind_of_word(const std::string& word, Kind& kind);

// What dbCreate needs: the mode and the two tunables that size the number
// vectors of a new file (dbSetMaxDataType, dbSetMaxSection).
struct DatabaseDecl {
  std::int32_t mode = 0;
  std::int32_t max_data_type = 0;
  std::int32_t max_section = 0;
};

// A numbered data type (number: its number, initial: the lMaxFileRecs
// dbCreate is given), or a data type at a place of a key (number: the
// place 0..9; initial unused).
struct TypeDecl {
  std::int32_t number = 0;
  Kind kind = Kind::kPlain;
  std::int32_t size = 0;
  std::int32_t block = 0;
  std::int32_t initial = 0;
};

// A section; keys 0 for one without buckets (no keys).
struct SectionDecl {
  std::int32_t number = 0;
  std::int32_t keys = 0;
  std::int32_t buckets = 0;
  std::int32_t mask = 0;
  std::int32_t bucket_block = 0;
  std::int32_t flags = 0;
};

using KeyValues = std::array<std::int32_t, rb::kMaxKeyLevels>;

// What a dump holds, counted; the end line carries it.
struct Totals {
  std::int64_t types = 0;
  std::int64_t places = 0;
  std::int64_t records = 0;  // of numbered and section data types
  std::int64_t sections = 0;
  std::int64_t keys = 0;
  bool operator==(const Totals&) const = default;
};

// Takes the items of a database in dump order: the database, every
// numbered type, their records, then each section with its keys, each key
// with its places and their records, and the end. A call that fails
// returns false and says why in error().
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool database(const DatabaseDecl& d) = 0;
  virtual bool type(const TypeDecl& t) = 0;
  virtual bool record(std::int32_t type, std::int32_t rec, std::int32_t sub,
                      const std::vector<unsigned char>& data) = 0;
  virtual bool section(const SectionDecl& s) = 0;
  virtual bool key(const KeyValues& values) = 0;
  virtual bool place(const TypeDecl& t) = 0;
  virtual bool place_record(std::int32_t place, std::int32_t rec, std::int32_t sub,
                            const std::vector<unsigned char>& data) = 0;
  virtual bool end(const Totals& totals) = 0;
  const std::string& error() const { return error_; }

 protected:
  bool fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

 private:
  std::string error_;
};

// Writes the dump text to an output, buffered; a failed write is an error.
// end() closes the output.
class TextWriter final : public Sink {
 public:
  explicit TextWriter(Output& out);
  bool database(const DatabaseDecl& d) override;
  bool type(const TypeDecl& t) override;
  bool record(std::int32_t type, std::int32_t rec, std::int32_t sub,
              const std::vector<unsigned char>& data) override;
  bool section(const SectionDecl& s) override;
  bool key(const KeyValues& values) override;
  bool place(const TypeDecl& t) override;
  bool place_record(std::int32_t place, std::int32_t rec, std::int32_t sub,
                    const std::vector<unsigned char>& data) override;
  bool end(const Totals& totals) override;

 private:
  // " name=value" for each.
  void fields(std::initializer_list<std::pair<const char*, std::int64_t>> named);
  bool record_line(const char* word, std::int32_t type, std::int32_t rec, std::int32_t sub,
                   const std::vector<unsigned char>& data);
  // Ends the line; false, with the reason, once a write has failed.
  bool line_done();

  TextBuffer text_;
};

// Builds a new database file from the items, through the library's public
// functions only (the caller has called dbInit). The file is made at the
// first item after the numbered types; on any failure, and when destroyed
// before end() succeeded, the file it made is removed again.
class Builder final : public Sink {
 public:
  explicit Builder(std::string path);
  ~Builder() override;
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  bool database(const DatabaseDecl& d) override;
  bool type(const TypeDecl& t) override;
  bool record(std::int32_t type, std::int32_t rec, std::int32_t sub,
              const std::vector<unsigned char>& data) override;
  bool section(const SectionDecl& s) override;
  bool key(const KeyValues& values) override;
  bool place(const TypeDecl& t) override;
  bool place_record(std::int32_t place, std::int32_t rec, std::int32_t sub,
                    const std::vector<unsigned char>& data) override;
  bool end(const Totals& totals) override;

  // What was built so far.
  const Totals& built() const { return built_; }
  // Closes and removes the file made, when there is one.
  void abandon();

 private:
  // Where the records of one data type have got to: numbers rise, the
  // sub-indices of a run follow each other from 0.
  struct Order {
    std::int32_t rec = -1;
    std::int32_t sub = -1;
  };
  struct Declared {
    TypeDecl decl;
    Order order;
  };

  bool create();
  bool end_input();
  bool end_key();
  bool end_section();
  bool in_order(Order& order, const TypeDecl& t, std::int32_t rec, std::int32_t sub,
                const char* what);

  std::string path_;
  bool have_database_ = false;
  DatabaseDecl database_;
  std::vector<TypeDecl> types_;
  std::map<std::int32_t, Declared> numbered_;
  std::map<std::int32_t, bool> section_numbers_;
  std::int32_t file_ = -1;
  bool created_ = false;
  bool failed_ = false;
  bool finished_ = false;
  // The section being built: its number and index, -1 for none.
  SectionDecl section_;
  std::int32_t section_index_ = -1;
  bool key_open_ = false;
  std::array<bool, rb::kSectionPlaces> places_used_{};
  bool input_open_ = false;
  Declared place_;
  Totals built_;
};

// Reads a dump text and hands its items to sink. False on the first line
// that cannot be read or that the sink refuses, with "LINE: why" (the
// number of that line, from 1) in error.
bool read_dump(std::FILE* in, Sink& sink, std::string& error);

// The records and key records of a database file, read through the library
// or from the bytes of the file.
class RecordSource {
 public:
  virtual ~RecordSource() = default;
  // Record rec, sub-index sub of catalogue entry k into data (its record
  // size); false with a reason in why().
  virtual bool read(const rb::DataCtrl& dc, std::int32_t k, std::int32_t rec, std::int32_t sub,
                    std::vector<unsigned char>& data) = 0;
  // Key record n of bucket k.
  virtual bool read_key(const rb::DataCtrl& dc, std::int32_t k, std::int32_t n,
                        rb::KeyRecord& key) = 0;
  const std::string& why() const { return why_; }

 protected:
  std::string why_;
};

// Through the library, on a file it has open.
std::unique_ptr<RecordSource> library_records(std::int32_t file);
// From the bytes of the file at path, with image its layout (for a file
// the library refuses); null when the file cannot be opened.
std::unique_ptr<RecordSource> raw_records(const std::string& path, const rb::FileLayout& image);

// How a walk treats the file. strict: a part that cannot be read ends the
// walk with an error; otherwise (salvage) the part is left behind and the
// walk goes on. tight: every data type's area is sized for the records it
// holds, not for the room the file gave it.
struct WalkOptions {
  bool strict = true;
  bool tight = false;
  // The validator's findings on the file: a data type whose descriptor it
  // faults is left behind.
  const std::vector<rb::Finding>* findings = nullptr;
};

// What a walk did not pass on: parts of the file that nothing reaches
// (left out by every walk) and, in a salvage, parts that could not be read.
struct WalkReport {
  std::vector<std::string> left_out;
  std::vector<std::string> left_behind;
  std::int64_t records_left_behind = 0;
  std::int64_t keys_left_behind = 0;
  std::int64_t types_left_behind = 0;
  std::int64_t sections_left_behind = 0;
  std::vector<std::string> warnings;  // strict walks: damage passed on as it is
  Totals passed;
};

// Walks the database whose layout is image, reading its records through
// source, and hands every item to sink. False with a reason in error when
// the sink fails or, in a strict walk, a part cannot be read.
bool walk_database(const rb::FileLayout& image, RecordSource& source, const WalkOptions& options,
                   Sink& sink, WalkReport& report, std::string& error);

// ---- the commands ----------------------------------------------------------

// "6 data types, 8 places, 125 records, 3 sections, 8 keys".
std::string totals_text(const Totals& t);

// Size of the file at path, -1 when it cannot be found.
std::int64_t file_size(const std::string& path);

// The command line of load, compact and salvage: "INPUT -o NEW [--force]".
struct CopyOptions {
  std::string input;
  std::string output;
};

// Parses it (input names the operand: "TEXT", "FILE") and checks that NEW
// may be written: a file, not standard output; an existing one only with
// --force, and never the input itself. kGoOn, or the exit code after one
// line naming the mistake.
int parse_copy_command(const std::string& command, const char* input, const Args& args,
                       CopyOptions& options);

// recbase dump FILE --all: the text of the database named name.
int dump_all(const std::string& name);

}  // namespace rbtool
