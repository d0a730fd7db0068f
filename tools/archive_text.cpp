// The dump text: one item per line, fields separated by one space, record
// bytes as lower-case hexadecimal (docs/dump-format.md).
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "archive.h"
#include "commands.h"

namespace rbtool {

namespace {

constexpr char kVersionLine[] = "recbase-dump 1";

struct KindWord {
  Kind kind;
  const char* word;
  std::int32_t flags;
};
constexpr KindWord kKinds[] = {{Kind::kPlain, "plain", 0},
                               {Kind::kIndexed, "indexed", rb::kTypeIndex},
                               {Kind::kIterator, "iterator", rb::kTypeIndex | rb::kTypeIterator},
                               {Kind::kPlaced, "placed", rb::kTypeIndex | rb::kTypePlaced}};

}  // namespace

bool kind_of_flags(std::int32_t flags, Kind& kind) {
  for (const KindWord& k : kKinds) {
    if (k.flags == flags) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

std::int32_t flags_of(Kind kind) {
  for (const KindWord& k : kKinds) {
    if (k.kind == kind) return k.flags;
  }
  return 0;
}

const char* kind_word(Kind kind) {
  for (const KindWord& k : kKinds) {
    if (k.kind == kind) return k.word;
  }
  return "?";
}

bool kind_of_word(const std::string& word, Kind& kind) {
  for (const KindWord& k : kKinds) {
    if (word == k.word) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

// ---- writing ---------------------------------------------------------------

TextWriter::TextWriter(Output& out) : text_(out) {}

bool TextWriter::line_done() {
  text_.put('\n');
  if (!text_.failed()) return true;
  std::string error;
  text_.close(error);
  return fail(error);
}

void TextWriter::fields(std::initializer_list<std::pair<const char*, std::int64_t>> named) {
  for (const auto& [name, value] : named) {
    text_.put(' ');
    text_.put(name);
    text_.put('=');
    text_.put_int(value);
  }
}

bool TextWriter::database(const DatabaseDecl& d) {
  text_.put(kVersionLine);
  if (!line_done()) return false;
  text_.put("database mode=0x");
  text_.put_hex_width(static_cast<std::uint32_t>(d.mode), 8);
  fields({{"max-data-type", d.max_data_type}, {"max-section", d.max_section}});
  return line_done();
}

bool TextWriter::type(const TypeDecl& t) {
  text_.put("type ");
  text_.put_int(t.number);
  text_.put(' ');
  text_.put(kind_word(t.kind));
  fields({{"size", t.size}, {"block", t.block}, {"initial", t.initial}});
  return line_done();
}

bool TextWriter::record_line(const char* word, std::int32_t type, std::int32_t rec,
                             std::int32_t sub, const std::vector<unsigned char>& data) {
  text_.put(word);
  for (const std::int32_t v : {type, rec, sub}) {
    text_.put(' ');
    text_.put_int(v);
  }
  text_.put(' ');
  text_.put_hex(data.data(), data.size());
  return line_done();
}

bool TextWriter::record(std::int32_t type, std::int32_t rec, std::int32_t sub,
                        const std::vector<unsigned char>& data) {
  return record_line("record", type, rec, sub, data);
}

bool TextWriter::section(const SectionDecl& s) {
  text_.put("section ");
  text_.put_int(s.number);
  fields({{"keys", s.keys},
          {"buckets", s.buckets},
          {"mask", s.mask},
          {"bucket-block", s.bucket_block},
          {"flags", s.flags}});
  return line_done();
}

bool TextWriter::key(const KeyValues& values) {
  text_.put("key");
  for (const std::int32_t v : values) {
    text_.put(' ');
    text_.put_int(v);
  }
  return line_done();
}

bool TextWriter::place(const TypeDecl& t) {
  text_.put("place ");
  text_.put_int(t.number);
  text_.put(' ');
  text_.put(kind_word(t.kind));
  fields({{"size", t.size}, {"block", t.block}});
  return line_done();
}

bool TextWriter::place_record(std::int32_t place, std::int32_t rec, std::int32_t sub,
                              const std::vector<unsigned char>& data) {
  return record_line("srecord", place, rec, sub, data);
}

bool TextWriter::end(const Totals& t) {
  text_.put("end");
  fields({{"types", t.types},
          {"places", t.places},
          {"records", t.records},
          {"sections", t.sections},
          {"keys", t.keys}});
  if (!line_done()) return false;
  std::string error;
  return text_.close(error) || fail(error);
}

// ---- reading ---------------------------------------------------------------

namespace {

// One line of the text, split at single spaces.
class Line {
 public:
  explicit Line(const std::string& text) {
    std::size_t from = 0;
    while (from <= text.size()) {
      const std::size_t to = std::min(text.find(' ', from), text.size());
      fields_.emplace_back(text, from, to - from);
      from = to + 1;
    }
  }

  std::size_t size() const { return fields_.size(); }
  const std::string& operator[](std::size_t i) const { return fields_[i]; }

  // Field i as a number; "what" names it in the message.
  bool number(std::size_t i, const char* what, std::int32_t& value, std::string& why) const {
    if (i < fields_.size() && parse_int(fields_[i], value)) return true;
    why = std::string("expected ") + what + " as a decimal number, found '" + shown(i) + "'";
    return false;
  }

  // Field i of the form name=NUMBER.
  bool named(std::size_t i, const char* name, std::int32_t& value, std::string& why) const {
    const std::string prefix = std::string(name) + "=";
    if (i < fields_.size() && fields_[i].rfind(prefix, 0) == 0 &&
        parse_int(fields_[i].substr(prefix.size()), value)) {
      return true;
    }
    why = "expected " + prefix + "NUMBER, found '" + shown(i) + "'";
    return false;
  }

  std::string shown(std::size_t i) const {
    if (i >= fields_.size()) return "";
    return fields_[i].size() > 40 ? fields_[i].substr(0, 40) + "..." : fields_[i];
  }

 private:
  std::vector<std::string> fields_;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hex_bytes(const std::string& text, std::vector<unsigned char>& out, std::string& why) {
  if (text.size() % 2 != 0) {
    why = "record bytes of odd length " + std::to_string(text.size()) + " (two digits a byte)";
    return false;
  }
  out.resize(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = hex_value(text[2 * i]);
    const int low = hex_value(text[2 * i + 1]);
    if (high < 0 || low < 0) {
      why = "record bytes: '" + text.substr(2 * i, 2) + "' at byte " + std::to_string(i) +
            " is not hexadecimal";
      return false;
    }
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

bool read_line(std::FILE* in, std::string& text) {
  text.clear();
  char chunk[65536];
  while (std::fgets(chunk, sizeof chunk, in) != nullptr) {
    text += chunk;
    if (!text.empty() && text.back() == '\n') break;
  }
  if (text.empty()) return false;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return true;
}

// Reads the items of the text line by line.
class Reader {
 public:
  Reader(Sink& sink) : sink_(sink) {}

  // One line; false with a reason in why.
  bool take(const std::string& text, std::string& why) {
    if (!seen_version_) {
      if (text != kVersionLine) {
        why =
            text.rfind("recbase-dump ", 0) == 0
                ? "dump format '" + text.substr(13) + "' is not the one this tool reads (1)"
                : std::string("not a recbase dump: the first line must be '") + kVersionLine + "'";
        return false;
      }
      seen_version_ = true;
      return true;
    }
    if (text.empty() || text[0] == '#') return true;
    if (ended_) {
      why = "text after the end line";
      return false;
    }
    const Line l(text);
    const std::string& word = l[0];
    if (!seen_database_ && word != "database") {
      why = "expected the database line after the first line, found '" + l.shown(0) + "'";
      return false;
    }
    if (word == "database") return database(l, why);
    if (word == "type" || word == "place") return type(l, why);
    if (word == "record" || word == "srecord") return record(l, why);
    if (word == "section") return section(l, why);
    if (word == "key") return key(l, why);
    if (word == "end") return end(l, why);
    why = "unknown item '" + l.shown(0) + "'";
    return false;
  }

  bool ended() const { return ended_; }

 private:
  bool fields(const Line& l, std::size_t count, const char* form, std::string& why) {
    if (l.size() == count) return true;
    why = std::string("expected '") + form + "'";
    return false;
  }

  bool passed(bool ok, std::string& why) {
    if (!ok) why = sink_.error();
    return ok;
  }

  bool database(const Line& l, std::string& why) {
    if (seen_database_) {
      why = "a second database line";
      return false;
    }
    if (!fields(l, 4, "database mode=0xHEX max-data-type=N max-section=N", why)) return false;
    DatabaseDecl d;
    const std::string& mode = l[1];
    char* end = nullptr;
    const unsigned long value =
        mode.rfind("mode=0x", 0) == 0 ? std::strtoul(mode.c_str() + 7, &end, 16) : 0;
    if (end == nullptr || *end != '\0' || mode.size() == 7 || value > 0xffffffffUL) {
      why = "expected mode=0xHEX, found '" + l.shown(1) + "'";
      return false;
    }
    d.mode = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    if (!l.named(2, "max-data-type", d.max_data_type, why) ||
        !l.named(3, "max-section", d.max_section, why)) {
      return false;
    }
    seen_database_ = true;
    return passed(sink_.database(d), why);
  }

  bool type(const Line& l, std::string& why) {
    const bool numbered = l[0] == "type";
    if (!fields(l, numbered ? 6 : 5,
                numbered ? "type NUMBER KIND size=N block=N initial=N"
                         : "place PLACE KIND size=N block=N",
                why)) {
      return false;
    }
    TypeDecl t;
    if (!l.number(1, numbered ? "the data type number" : "the place", t.number, why)) {
      return false;
    }
    if (!kind_of_word(l[2], t.kind)) {
      why = "unknown kind '" + l.shown(2) + "' (plain, indexed, iterator or placed)";
      return false;
    }
    if (!l.named(3, "size", t.size, why) || !l.named(4, "block", t.block, why) ||
        (numbered && !l.named(5, "initial", t.initial, why))) {
      return false;
    }
    return passed(numbered ? sink_.type(t) : sink_.place(t), why);
  }

  bool record(const Line& l, std::string& why) {
    const bool numbered = l[0] == "record";
    if (!fields(l, 5, numbered ? "record TYPE NUMBER SUB HEX" : "srecord PLACE NUMBER SUB HEX",
                why)) {
      return false;
    }
    std::int32_t type = 0;
    std::int32_t rec = 0;
    std::int32_t sub = 0;
    if (!l.number(1, numbered ? "the data type number" : "the place", type, why) ||
        !l.number(2, "the record number", rec, why) || !l.number(3, "the sub-index", sub, why) ||
        !hex_bytes(l[4], data_, why)) {
      return false;
    }
    return passed(
        numbered ? sink_.record(type, rec, sub, data_) : sink_.place_record(type, rec, sub, data_),
        why);
  }

  bool section(const Line& l, std::string& why) {
    if (!fields(l, 7, "section NUMBER keys=N buckets=N mask=N bucket-block=N flags=N", why)) {
      return false;
    }
    SectionDecl s;
    if (!l.number(1, "the section number", s.number, why) || !l.named(2, "keys", s.keys, why) ||
        !l.named(3, "buckets", s.buckets, why) || !l.named(4, "mask", s.mask, why) ||
        !l.named(5, "bucket-block", s.bucket_block, why) || !l.named(6, "flags", s.flags, why)) {
      return false;
    }
    return passed(sink_.section(s), why);
  }

  bool key(const Line& l, std::string& why) {
    if (!fields(l, 1 + rb::kMaxKeyLevels, "key V0 V1 V2 V3", why)) return false;
    KeyValues values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!l.number(1 + i, "a key value", values[i], why)) return false;
    }
    return passed(sink_.key(values), why);
  }

  bool end(const Line& l, std::string& why) {
    if (!fields(l, 6, "end types=N places=N records=N sections=N keys=N", why)) return false;
    std::int32_t v[5] = {};
    const char* names[] = {"types", "places", "records", "sections", "keys"};
    for (std::size_t i = 0; i < 5; ++i) {
      if (!l.named(1 + i, names[i], v[i], why)) return false;
    }
    ended_ = true;
    return passed(sink_.end({v[0], v[1], v[2], v[3], v[4]}), why);
  }

  Sink& sink_;
  bool seen_version_ = false;
  bool seen_database_ = false;
  bool ended_ = false;
  std::vector<unsigned char> data_;
};

}  // namespace

bool read_dump(std::FILE* in, Sink& sink, std::string& error) {
  Reader reader(sink);
  std::string text;
  std::int64_t number = 0;
  while (read_line(in, text)) {
    ++number;
    std::string why;
    if (!reader.take(text, why)) {
      error = std::to_string(number) + ": " + why;
      return false;
    }
  }
  if (std::ferror(in) != 0) {
    error = std::to_string(number + 1) + ": cannot read the text";
    return false;
  }
  if (!reader.ended()) {
    error = std::to_string(number + 1) + ": the text ends before its end line (a dump cut short?)";
    return false;
  }
  return true;
}

}  // namespace rbtool
