// The recbase tool run as a program on files made by the library.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "file/journal.h"
#include "frame/io_env.h"
#include "records/cache.h"
#include "support/testkit.h"
#include "tool_run.h"

namespace {

using rbtest::count;
using rbtest::has;
using rbtest::Pair;
using rbtest::put_word;
using rbtest::read_file;
using rbtest::run_tool;
using rbtest::text_of;
using rbtest::ToolRun;
using rbtest::word_at;

// A syntax check of JSON text: one value, and nothing but white space
// after it.
class JsonSyntax {
 public:
  explicit JsonSyntax(const std::string& t) : t_(t) {}
  bool document() {
    if (!value()) return false;
    space();
    return i_ == t_.size();
  }

 private:
  void space() {
    while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
  }
  bool eat(char c) {
    space();
    if (i_ >= t_.size() || t_[i_] != c) return false;
    ++i_;
    return true;
  }
  bool string() {
    if (!eat('"')) return false;
    for (; i_ < t_.size() && t_[i_] != '"'; ++i_) {
      if (static_cast<unsigned char>(t_[i_]) < 0x20) return false;
      if (t_[i_] == '\\') ++i_;
    }
    return eat('"');
  }
  bool list(char close, bool members) {
    if (eat(close)) return true;
    do {
      if (members && (!string() || !eat(':'))) return false;
      if (!value()) return false;
    } while (eat(','));
    return eat(close);
  }
  bool value() {
    space();
    if (i_ >= t_.size()) return false;
    if (t_[i_] == '{') return ++i_, list('}', true);
    if (t_[i_] == '[') return ++i_, list(']', false);
    if (t_[i_] == '"') return string();
    for (const char* word : {"true", "false", "null"}) {
      if (t_.compare(i_, std::strlen(word), word) == 0) return i_ += std::strlen(word), true;
    }
    const std::size_t start = i_;
    if (i_ < t_.size() && t_[i_] == '-') ++i_;
    while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
    return i_ > start && std::isdigit(static_cast<unsigned char>(t_[i_ - 1]));
  }

  const std::string& t_;
  std::size_t i_ = 0;
};

bool is_json(const std::string& text) { return JsonSyntax(text).document(); }

// Types 1 plain, 2 indexed, 3 iterator, 4 placed declared at creation, type
// 5 added in a data input; section 1 with keys (i, 7 - i), i = 0..3, whose
// data type at place 0 holds i + 1 records.
void make_sample(const char* name) {
  const DataDesc types[] = {rbtest::desc(1, 0, 8, 256, 100), rbtest::desc(2, DTF_INDEX, 8, 256, 50),
                            rbtest::desc(3, DTF_INDEX | DTF_ITERATOR, 8, 256, 20),
                            rbtest::desc(4, DTF_INDEX | DTF_PLACED, 8, 8, 10)};
  const std::int32_t f = dbCreate(name, 4, types, 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  for (std::int32_t i = 0; i < 40; ++i) {
    const Pair p{i, 100 + i};
    ASSERT_EQ(dbWrite(f, 1, i, 0, &p), 0);
    ASSERT_EQ(dbWrite(f, 2, 3 * i, 0, &p), 0);
  }
  for (std::int32_t sub = 0; sub < 3; ++sub) {
    const Pair p{7, sub};
    ASSERT_EQ(dbWrite(f, 3, 7, sub, &p), 0);
  }
  const Pair placed{4, 4};
  ASSERT_EQ(dbWrite(f, 4, 2, 0, &placed), 0);
  const DataDesc later = rbtest::desc(5, 0, 8, 64);
  ASSERT_GE(dbBeginData(f, &later), 0);
  for (std::int32_t i = 0; i < 20; ++i) {
    const Pair p{i, -i};
    ASSERT_EQ(dbWrite(f, 5, i, 0, &p), 0);
  }
  ASSERT_GE(dbEndData(f), 0);
  ASSERT_GE(dbBeginSections(f, 1, 2, 0), 0);
  for (std::int32_t i = 0; i < 4; ++i) {
    std::int32_t keys[4] = {i, 7 - i, 0, 0};
    const DataDesc place = rbtest::desc(0, 0, 8, 64);
    ASSERT_GE(dbBeginSection(f, 1, keys), 0);
    ASSERT_GE(dbBeginDataS(f, &place, 1), 0);
    for (std::int32_t r = 0; r <= i; ++r) {
      const Pair p{i, r};
      ASSERT_EQ(dbWriteS(f, 0, r, 0, &p, 8, 1), 0);
    }
    ASSERT_GE(dbEndDataS(f), 0);
    ASSERT_GE(dbEndSection(f, 0), 0);
  }
  ASSERT_GE(dbEndSections(f, 0), 0);
  ASSERT_GE(dbClose(f), 0);
}

class ToolTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    make_sample("sample.db");
    sample_ = read_file("sample.db");
  }

  // Header word at a FileDef offset of the sample.
  std::int32_t header(std::size_t offset) const { return word_at(sample_, offset); }

  std::string sample_;
};

TEST_F(ToolTest, CheckAcceptsSoundFilesFromRealScenarios) {
  const std::function<void()> scenarios[] = {
      [] {},  // the sample as made
      [] {    // reopened for writing: areas grown, a type added behind the tables
        const std::int32_t f = dbOpen("sample.db", DB_MODE_WRITE);
        ASSERT_GE(f, 0);
        const Pair p{1, 1};
        ASSERT_EQ(dbWrite(f, 1, 250, 0, &p), 0);
        ASSERT_EQ(dbWrite(f, 2, 400, 0, &p), 0);
        ASSERT_EQ(dbWrite(f, 4, 9, 0, &p), 0);
        const DataDesc extra = rbtest::desc(9, DTF_INDEX, 8, 64);
        ASSERT_GE(dbBeginData(f, &extra), 0);
        ASSERT_EQ(dbWrite(f, 9, 30, 0, &p), 0);
        ASSERT_GE(dbEndData(f), 0);
        ASSERT_GE(dbClose(f), 0);
      },
      [] {  // a file without data types
        ASSERT_GE(dbClose(dbCreate("sample.db", 0, nullptr, 0, DB_MODE_WRITE)), 0);
      },
  };
  for (const auto& scenario : scenarios) {
    scenario();
    const ToolRun run = run_tool("check sample.db --deep");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("sample.db: sound"), std::string::npos) << run.out;
  }
}

TEST_F(ToolTest, CheckReportsCorruptFiles) {
  struct Case {
    const char* name;
    std::function<void(std::string&)> corrupt;
    const char* finding;
  };
  const std::int32_t file_len = header(1060);
  const std::int32_t data_ctrl = header(1108);
  // Where the index vector of catalogue entry k lies.
  const auto vector_at = [&](int k) {
    const std::int32_t vector = word_at(sample_, data_ctrl + 64 * k + 44);
    return word_at(sample_, header(1088) + 20 * vector + 16);
  };
  const std::int32_t placed_at = vector_at(3);  // type 4, record 2 placed
  const Case cases[] = {
      {"truncated", [&](std::string& b) { b.resize(static_cast<std::size_t>(file_len) - 100); },
       "truncated: lFileLen"},
      {"placed record", [&](std::string& b) { put_word(b, placed_at + 4 * 2, 4100); },
       "placed-record: index entry of data type #3 (type 4)"},
  };
  for (const Case& c : cases) {
    std::string bytes = sample_;
    c.corrupt(bytes);
    rbtest::write_file("corrupt.db", bytes);
    const ToolRun run = run_tool("check corrupt.db");
    EXPECT_EQ(run.status, 1) << c.name << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(c.finding), std::string::npos) << c.name << "\n" << run.out;
    EXPECT_EQ(read_file("corrupt.db"), bytes) << c.name << ": check changed the file";
  }
}

TEST_F(ToolTest, CheckReportsAJournalBesideTheFile) {
  // A writer at work: its blocks written back over committed pages, no commit yet.
  const std::int32_t f = dbOpen("sample.db", DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  for (std::int32_t i = 0; i < 40; ++i) {
    const Pair p{i, -1};
    ASSERT_EQ(dbWrite(f, 1, i, 0, &p), 0);
  }
  ASSERT_EQ(rb::flush_blocks(f), 0);
  ASSERT_TRUE(rbtest::file_exists("sample.db-journal"));
  const ToolRun busy = run_tool("check sample.db");
  EXPECT_EQ(busy.status, 1) << busy.out << busy.err;
  EXPECT_NE(busy.out.find("sample.db-journal is in use: a writer holds the file"),
            std::string::npos)
      << busy.out;
  EXPECT_NE(busy.out.find("the last committed state is sound"), std::string::npos) << busy.out;
  ASSERT_GE(dbClose(f), 0);

  // An interrupted writer: the header and the page behind it saved, then
  // overwritten. Only the state the rollback restores is sound.
  const auto size = static_cast<std::int64_t>(sample_.size());
  rbtest::write_file("hot.db", sample_);
  {
    rb::IoFile* db = rb::platform_env().open("hot.db", rb::OpenMode::read_write);
    ASSERT_NE(db, nullptr);
    rb::Journal journal;
    journal.begin(rb::platform_env(), "hot.db-journal", size);
    ASSERT_EQ(journal.protect(*db, 0, 2 * rb::kJournalPage), 0);
    const std::string torn(rb::kJournalPage + 100, 'X');
    EXPECT_EQ(db->write_at(0, torn.data(), std::int64_t(torn.size())), std::int64_t(torn.size()));
    delete db;
  }
  const std::string hot = read_file("hot.db");
  const std::string journal = read_file("hot.db-journal");
  const ToolRun pending = run_tool("check hot.db");
  EXPECT_EQ(pending.status, 1) << pending.out << pending.err;
  EXPECT_EQ(pending.out,
            "hot.db: hot.db-journal is pending: a writer was interrupted; the next dbOpen restores "
            "the last committed state (committed length " +
                std::to_string(size) +
                " bytes, 2 saved pages); the checks below see that state\n"
                "hot.db: the last committed state is sound (25 data types, 1 section)\n");
  EXPECT_EQ(read_file("hot.db"), hot) << "check changed the file";
  EXPECT_EQ(read_file("hot.db-journal"), journal) << "check changed the journal";
  // Through the library the journal is rolled back, and the tool says so.
  const ToolRun exported = run_tool("export hot.db 1");
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.err.find("hot.db: dbOpen rolled back the journal"), std::string::npos)
      << exported.err;
  EXPECT_EQ(read_file("hot.db"), sample_);
  EXPECT_FALSE(rbtest::file_exists("hot.db-journal"));

  // Journals that restore nothing are harmless.
  std::string torn_header = journal;
  torn_header[offsetof(rb::JournalHeader, lCommittedLen)] ^= 1;
  const std::pair<std::string, const char*> stale[] = {{"", "(empty)"},
                                                       {torn_header, "(header check fails)"}};
  for (const auto& [bytes, why] : stale) {
    rbtest::write_file("hot.db-journal", bytes);
    const ToolRun run = run_tool("check hot.db");
    EXPECT_EQ(run.status, 0) << why << "\n" << run.out << run.err;
    EXPECT_NE(run.out.find(std::string("hot.db-journal is stale ") + why), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("hot.db: sound"), std::string::npos) << run.out;
    EXPECT_TRUE(rbtest::file_exists("hot.db-journal"));
  }
}

TEST_F(ToolTest, InfoListsTypesSectionsAndVectors) {
  const ToolRun run = run_tool("info sample.db");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line :
       {"format          TOVEK 1.00.0001", "flags           0x00000002 (write)",
        "data types      25 (capacity 25)",
        "\n   2  type 3               index iterator     8    256        3    5632     256\n",
        "\n  index  number  keys  buckets  key count\n      0       1     2       16          4\n",
        "\n   2  iterator      2      20   72640\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  // Columns keep their places past bucket 9.
  const auto column = [&](const char* name) {
    const auto at = run.out.find(name);
    return at == std::string::npos ? at
                                   : run.out.find("bucket  ", at + 10) - run.out.rfind('\n', at);
  };
  EXPECT_EQ(column("section 1 bucket 9 "), column("section 1 bucket 10 "));

  // The same facts as one JSON object.
  const ToolRun json = run_tool("info sample.db --json");
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_TRUE(is_json(json.out)) << json.out;
  EXPECT_EQ(json.out.rfind("{\"file\":\"sample.db\",\"size\":" + std::to_string(sample_.size()), 0),
            0u);
  for (const char* member :
       {"\"nDataTypes\":25,", "\"lFileLen\":", "\"mode\":[\"write\"]",
        "{\"index\":2,\"name\":\"type 3\",\"kind\":\"iterator\"",
        "{\"index\":0,\"nSectionType\":1,\"nKeys\":2,\"buckets\":16,\"keys\":4,",
        "\"nMaxKeys\":[3,7,-1,-1]", "\"faults\":0}"}) {
    EXPECT_NE(json.out.find(member), std::string::npos) << member;
  }
  EXPECT_EQ(count(json.out, "\"nDataSize\":"), 25);
  EXPECT_EQ(count(json.out, "\"lIndexLen\":"), 5);
}

TEST_F(ToolTest, DumpPrintsTheLibraryDumpsAndLeavesNoFilesBehind) {
  struct Case {
    const char* args;
    int status;
    const char* text;
  };
  const Case cases[] = {
      {"dump sample.db", 0, "(cFormat).: TOVEK 1.00.0001"},
      {"dump sample.db keys 1", 0, "Hashbucket 15"},
      {"dump sample.db index 3", 0, "Datentype 3, Iterator 2"},
      {"dump sample.db cache", 0, "(lOffsetData).:      5888"},
      {"dump sample.db sysdata", 0, "nErrorCount.:        0\n"},
      {"dump sample.db index 99999", 2, "recbase dump: no data type 99999 in sample.db\n"},
      {"dump sample.db index 1", 2, "data type 1 of sample.db has no index vector"},
      {"dump sample.db nonsense", 3, "unknown dump 'nonsense'"},
      {"dump corrupt.db", 2,
       "cannot open corrupt.db: not a database file of this format (dbOpen -101: Geoeffnete "
       "Datei hat unbekanntes Format.)"},
  };
  std::string foreign = sample_;
  foreign[1] = 'X';
  rbtest::write_file("corrupt.db", foreign);
  for (const Case& c : cases) {
    const ToolRun run = run_tool(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    EXPECT_NE((run.out + run.err).find(c.text), std::string::npos) << c.args << "\n" << run.out;
  }
  EXPECT_FALSE(rbtest::file_exists("tovek.tst"));
  EXPECT_FALSE(rbtest::file_exists("tovek.log"));
}

TEST_F(ToolTest, ExportWritesRecordsWithNumbersInEachFormat) {
  struct Case {
    const char* args;
    const char* text;
    int lines;
  };
  const Case cases[] = {
      // iterator type: record 7 with sub-indices 0..2, payload (7, 2)
      {"export sample.db 3", "7,2,0700000002000000\n", 4},
      {"export sample.db 2 --format jsonl",
       "{\"record\":117,\"sub\":0,\"data\":\"270000008b000000\"}\n", 40},
      {"export sample.db 4 --format hex", "record 2 sub 0 (8 bytes)\n  000000  04 00", 2},
      {"export sample.db 0 --section 1", "3,4,3,0,0300000003000000\n", 11},
      {"export sample.db 0 --section 1 --format jsonl",
       "{\"key\":[1,6],\"record\":1,\"sub\":0,\"data\":\"0100000001000000\"}\n", 10},
  };
  for (const Case& c : cases) {
    const ToolRun run = run_tool(c.args);
    EXPECT_EQ(run.status, 0) << c.args << "\n" << run.err;
    EXPECT_NE(run.out.find(c.text), std::string::npos) << c.args << "\n" << run.out;
    EXPECT_EQ(count(run.out, "\n"), c.lines) << c.args << "\n" << run.out;
  }
}

// Width of the region whose hover title starts with title.
double region_width(const std::string& svg, const std::string& title) {
  const auto at = svg.find("<title>" + title);
  if (at == std::string::npos) return -1;
  const auto width = svg.find("width=\"", svg.rfind("<rect class=\"region\"", at));
  return std::stod(svg.substr(width + 7));
}

// The width and height attributes of the picture.
std::pair<double, double> svg_size(const std::string& svg) {
  const auto at = svg.find("<svg ");
  return {std::stod(svg.substr(svg.find("width=\"", at) + 7)),
          std::stod(svg.substr(svg.find("height=\"", at) + 8))};
}

TEST_F(ToolTest, MapDrawsRegionsToALinearScaleWithAxisLabelsAndKinds) {
  const ToolRun run = run_tool("map sample.db -o layout.svg");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string svg = read_file("layout.svg");
  // header, 25 data areas, a placed record, 5 vectors, 5 tables: a rect and a numbered row each,
  // and a name on the bar or a numbered callout
  EXPECT_EQ(count(svg, "<rect class=\"region\""), 37);
  EXPECT_EQ(count(svg, "<text class=\"row\""), 37);
  EXPECT_EQ(count(svg, "<text class=\"name\"") + count(svg, "<text class=\"callout\""), 37);
  for (const char* text : {">header</text>", ">IndDataTypes vector</text>", ">16 KiB</text>",
                           "<g class=\"axis\">", ">0</text>", ">32 KiB</text>", ">37</text>",
                           ">7. #5 section 1 bucket 0, bytes 6160..10256 (4 KiB), fill 0%<"}) {
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  }
  // A linear scale: 4 KiB regions equally wide, the 16 KiB vector four times as wide.
  const double header = region_width(svg, "1. header");
  EXPECT_GT(header, 30);
  EXPECT_NEAR(region_width(svg, "7. #5 section 1"), header, 0.2);
  EXPECT_NEAR(region_width(svg, "36. IndDataTypes"), 4 * header, 0.5);
  // Eight kinds in the legend, no two of one colour.
  std::set<std::string> colours;
  for (auto at = svg.find("<rect class=\"kind\""); at != std::string::npos;
       at = svg.find("<rect class=\"kind\"", at + 1)) {
    colours.insert(svg.substr(svg.find("fill=\"", at), 14));
  }
  EXPECT_EQ(colours.size(), 8u);
  EXPECT_EQ(count(svg, "<rect class=\"kind\""), 8);

  const ToolRun piped = run_tool("map sample.db -o -");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, text_of("layout.svg"));
}

TEST_F(ToolTest, MapCutsHugeAreasGroupsThousandsOfTypesAndRendersToPng) {
  // An area of 8 MiB beside the 4 KiB header: cut, so that the header stays readable.
  const DataDesc big = rbtest::desc(1, 0, 8, 4096);
  std::int32_t f = dbCreate("huge.db", 1, &big, 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  const Pair p{1, 1};
  ASSERT_EQ(dbWrite(f, 1, 1 << 20, 0, &p), 0);
  ASSERT_GE(dbClose(f), 0);
  ASSERT_EQ(run_tool("map huge.db -o huge.svg").status, 0);
  const std::string huge = read_file("huge.svg");
  EXPECT_EQ(count(huge, "<g class=\"break\">"), 1);
  EXPECT_NE(huge.find(" cut</text>"), std::string::npos);
  EXPECT_GE(region_width(huge, "1. header"), 32);
  EXPECT_LE(region_width(huge, "2. #0 type 1"), 200);

  // 2,016 data types of three kinds in turn, with their index vectors.
  std::vector<DataDesc> types;
  for (std::int32_t k = 0; k < 2016; ++k) {
    const std::int32_t flags[] = {0, DTF_INDEX, DTF_INDEX | DTF_ITERATOR};
    types.push_back(rbtest::desc(k + 1, flags[k % 3], 8, 64, 8));
  }
  f = dbCreate("many.db", 2016, types.data(), 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  ASSERT_GE(dbClose(f), 0);
  ASSERT_EQ(run_tool("map many.db -o many.svg").status, 0);
  const std::string many = read_file("many.svg");
  EXPECT_NE(many.find("regions, drawn as "), std::string::npos);
  EXPECT_LE(count(many, "<rect class=\"region\""), 300);
  EXPECT_EQ(count(many, "<rect class=\"region\""), count(many, "<text class=\"row\""));
  for (const std::string* svg : {&huge, &many}) {
    const auto [width, height] = svg_size(*svg);
    EXPECT_LE(width, 4000);
    EXPECT_LE(height, 4000);
  }

#if defined(_WIN32)
  GTEST_SKIP() << "rendering is checked on Linux";
#else
  if (std::system("rsvg-convert --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "rsvg-convert is missing (Debian package librsvg2-bin)";
  }
  ASSERT_EQ(run_tool("map sample.db -o sample.svg").status, 0);
  for (const char* name : {"sample", "huge", "many"}) {
    const std::string svg = name + std::string(".svg");
    const std::string png = name + std::string(".png");
    ASSERT_EQ(std::system(("rsvg-convert " + svg + " -o " + png).c_str()), 0) << name;
    // The size of a PNG stands in its IHDR chunk, big-endian, behind the signature.
    const std::string bytes = read_file(png.c_str());
    ASSERT_GE(bytes.size(), 24u) << name;
    ASSERT_EQ(bytes.substr(12, 4), "IHDR") << name;
    const auto be = [&](std::size_t at) {
      return (std::uint32_t(std::uint8_t(bytes[at])) << 24) |
             (std::uint32_t(std::uint8_t(bytes[at + 1])) << 16) |
             (std::uint32_t(std::uint8_t(bytes[at + 2])) << 8) | std::uint8_t(bytes[at + 3]);
    };
    const auto [width, height] = svg_size(read_file(svg.c_str()));
    EXPECT_TRUE(be(16) > 0 && be(16) <= 4000 && be(16) == std::uint32_t(width)) << name;
    EXPECT_TRUE(be(20) > 0 && be(20) <= 4000 && be(20) == std::uint32_t(std::ceil(height))) << name;
  }
#endif
}

// Every command parses its command line the same way: --help, --version,
// and one line on standard error that names a mistake (exit status 3).
TEST_F(ToolTest, UsageAndHelpOfEveryCommand) {
  for (const std::string command :
       {"info", "dump", "check", "map", "export", "load", "compact", "recover", "salvage"}) {
    const ToolRun help = run_tool(command + " --help");
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind("usage: recbase " + command, 0), 0u) << command << "\n" << help.out;
  }
  struct Case {
    const char* args;
    int status;
    const char* text;
  };
  const Case cases[] = {
      {"", 3, "usage: recbase COMMAND"},
      {"--help", 0, "exit status:"},
      {"check --version", 0, "recbase 1."},
      {"frobnicate", 3, "recbase: unknown command 'frobnicate'"},
      {"salvage sample.db --deep -o new.db", 3,
       "recbase salvage: unknown option '--deep' (usage: recbase salvage FILE -o NEW"},
      {"load a.txt b.txt -o new.db", 3, "recbase load: unexpected argument 'b.txt'"},
      {"load -o new.db", 3, "recbase load: TEXT is missing"},
      {"compact sample.db --output", 3, "recbase compact: --output needs a value"},
      {"export sample.db 1 --format xml", 3,
       "recbase export: --format must be csv, jsonl or hex, not 'xml' (usage: recbase export"},
      {"export sample.db 10 --section 1", 3,
       "TYPE (a place of the section) must be a number from 0 to 9, not '10'"},
      {"check sample.db --max-findings=-1", 3, "--max-findings must be a number 0 or more"},
      {"dump sample.db keys", 3, "recbase dump: keys needs N (a section number)"},
      {"dump sample.db --all extra", 3, "recbase dump: --all takes FILE only, not 'extra'"},
      {"map sample.db", 3, "recbase map: -o LAYOUT.svg is missing"},
      {"load a.txt", 3, "recbase load: -o NEW, the file to make, is missing"},
      {"salvage sample.db -o -", 3,
       "recbase salvage: a database file cannot go to standard output"},
      {"compact sample.db -o sample.db --force", 3,
       "recbase compact: sample.db is the input itself"},
      {"load a.txt -o sample.db", 3, "recbase load: sample.db exists; --force replaces it"},
  };
  for (const Case& c : cases) {
    const ToolRun run = run_tool(c.args);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_TRUE(has(run.out + run.err, c.text)) << c.args << "\n" << run.out << run.err;
    if (c.status == 3 && *c.args != '\0') {
      EXPECT_EQ(count(run.err, "\n"), 1) << c.args;
    }
  }
}

TEST_F(ToolTest, ExitCodesForUnreadableInputMissingPartsAndFailedWrites) {
  struct Case {
    const char* args;
    const char* text;  // on standard error, its only line
  };
  rbtest::write_file("short.db", sample_.substr(0, sample_.size() - 100));
  const Case cases[] = {
      {"dump sample.db section 2", "recbase dump: no section 2 in sample.db\n"},
      {"export sample.db 6", "recbase export: no data type 6 in sample.db"},
      {"export sample.db 0 --section 2", "recbase export: no section 2 in sample.db\n"},
      {"export sample.db 5 --section 1",
       "no key of section 1 in sample.db has a data type at place 5"},
      {"export missing.db 1", "cannot open missing.db: the file cannot be opened (dbOpen -11: "},
      {"info missing.db", "recbase info: missing.db: cannot open the file"},
      {"check missing.db", "recbase check: missing.db: cannot open the file"},
      {"recover missing.db", "recbase recover: missing.db: cannot open the file"},
      {"load missing.txt -o new.db --force", "recbase load: missing.txt: cannot open the text"},
      // A damaged file is still shown, and the exit status says it is damaged.
      {"info short.db", "short.db: the layout is damaged (3 faults); recbase check short.db"},
  };
  for (const Case& c : cases) {
    const ToolRun run = run_tool(c.args);
    EXPECT_EQ(run.status, 2) << c.args << "\n" << run.out << run.err;
    EXPECT_TRUE(has(run.err, c.text)) << c.args << "\n" << run.err;
    EXPECT_EQ(count(run.err, "\n"), 1) << c.args << "\n" << run.err;
  }
#if !defined(_WIN32)
  // Every byte that does not reach the output is a failure, and the line
  // says why.
  const std::pair<const char*, const char*> full[] = {
      {"export sample.db 1", "recbase export: cannot write to standard output: "},
      {"export sample.db 1 --format hex", "recbase export: cannot write to standard output: "},
      {"info sample.db", "recbase info: cannot write to standard output: "},
      {"info sample.db --json", "recbase info: cannot write to standard output: "},
      {"check sample.db", "recbase check: cannot write to standard output: "},
      {"dump sample.db", "recbase dump: cannot write to standard output: "},
      {"dump sample.db --all", "recbase dump: cannot write to standard output: "},
      {"compact sample.db -o new.db --force", "recbase compact: cannot write to standard output: "},
      {"recover sample.db", "recbase recover: cannot write to standard output: "},
      {"map sample.db -o -", "recbase map: cannot write to standard output: "},
      {"map sample.db -o /dev/full", "recbase map: cannot write /dev/full: "},
      {"--help", "recbase: cannot write to standard output: "},
  };
  for (const auto& [args, text] : full) {
    const ToolRun run = run_tool(args, "/dev/full");
    EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    EXPECT_EQ(run.err, text + std::string(std::strerror(ENOSPC)) + "\n") << args;
  }
#endif
}

TEST_F(ToolTest, CheckGroupsFindingsByCauseAndDeepChecksFindLostRecordsAndKeys) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::size_t, std::int32_t>> words;  // offset, value
    const char* args;
    std::vector<std::string> texts;  // in this order
    int lines;                       // of output
  };
  const std::int32_t data_ctrl = header(1108);
  const auto type_word = [&](int k, int at) {
    return static_cast<std::size_t>(data_ctrl + 64 * k + at);
  };
  // Entry i of the vector at word `at` of catalogue entry k.
  const auto vector_entry_at = [&](int k, int at, int i) {
    const std::int32_t vector = word_at(sample_, type_word(k, at));
    return static_cast<std::size_t>(word_at(sample_, header(1088) + 20 * vector + 16) + 4 * i);
  };
  const auto index_at = [&](int k, int i) { return vector_entry_at(k, 44, i); };
  const std::size_t iterator_at = vector_entry_at(2, 48, 0);
  // Key (0, 7), the first key record of bucket 7 (DataCtrl 12).
  const auto key_at = static_cast<std::size_t>(word_at(sample_, type_word(12, 32)));
  const Case cases[] = {
      {"plain count cut",
       {{type_word(0, 16), 36}},
       "--deep",
       {"record-count: lFileRecs of data type #0 (type 1) at offset " +
            std::to_string(type_word(0, 16)) + " is 36, against 40: ",
        "damaged.db: deep checks: 40 blocks of the data areas read (67856 bytes), 181 index "
        "entries checked, 4 keys looked up\n"},
       2},
      {"indexed count cut",
       {{type_word(1, 16), 30}},
       "",
       {"record-count: lFileRecs of data type #1 (type 2)",
        "index-slot: index entry of data type #1 (type 2)",
        "; 9 more like it; likely a consequence of lFileRecs of data type #1 (type 2) above"},
       2},
      {"key moved",
       {{key_at + 40, 1}},
       "--deep",
       {"key-bucket: nKey of section 1 at offset " + std::to_string(key_at + 40) +
        " is 8, against 7: the key is stored in a bucket its values do not hash to"},
       2},
      {"key raised",
       {{key_at + 40, 16}},
       "--deep",
       {"key-max: nMaxKeys of section 1", "is 3, against 16"},
       2},
      {"slot shared",
       {{index_at(1, 3), 0}},
       "--deep",
       {"slot-shared: index entry of data type #1 (type 2) at offset " +
        std::to_string(index_at(1, 3)) + " is 0, against 40: two record numbers"},
       2},
      {"iterator run",
       {{iterator_at + 4 * 7, 5}},
       "--deep",
       {"record-count: lFileRecs of data type #2 (type 3)", "is 3, against 5",
        "record-max: lMaxIndex of data type #2 (type 3)", "is 10, against 12",
        "run-past-count: iterator entry of data type #2 (type 3) at offset " +
            std::to_string(iterator_at + 4 * 7) + " is 5, against 3: "},
       4},
      {"nDataTypes",
       {{1092, 24}},
       "",
       {"table-count: nDataTypes of the header at offset 1092 is 24, against 25"},
       1},
  };
  for (const Case& c : cases) {
    std::string bytes = sample_;
    for (const auto& [offset, value] : c.words) put_word(bytes, offset, value);
    rbtest::write_file("damaged.db", bytes);
    const ToolRun run = run_tool(std::string("check damaged.db ") + c.args);
    EXPECT_EQ(run.status, 1) << c.name << "\n" << run.out << run.err;
    std::size_t at = 0;
    for (const std::string& text : c.texts) {
      at = run.out.find(text, at);
      EXPECT_NE(at, std::string::npos) << c.name << ": " << text << "\n" << run.out;
    }
    EXPECT_EQ(count(run.out, "\n"), c.lines) << c.name << "\n" << run.out;
  }

  // Twenty damaged index entries: one finding of twenty.
  std::string bytes = sample_;
  const std::int32_t vector = word_at(sample_, type_word(1, 44));
  const std::int32_t entries = word_at(sample_, header(1088) + 20 * vector + 16);
  for (int i = 0; i < 20; ++i) put_word(bytes, entries + 4 * 3 * i, 1000 + i);
  put_word(bytes, type_word(0, 16), 36);  // and a count cut that only --deep sees
  rbtest::write_file("damaged.db", bytes);
  const ToolRun capped = run_tool("check damaged.db --max-findings 0");
  EXPECT_EQ(capped.status, 1);
  EXPECT_EQ(count(capped.out, "\n"), 1) << capped.out;
  EXPECT_NE(capped.out.find("is 1000, against 40: "), std::string::npos) << capped.out;
  EXPECT_NE(capped.out.find("; 19 more like it (dbOpen refuses"), std::string::npos) << capped.out;
  const ToolRun json = run_tool("check damaged.db --json --deep --max-findings 1");
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(is_json(json.out)) << json.out;
  for (const char* member :
       {"{\"file\":\"damaged.db\",\"sound\":false,\"checks\":[\"journal\",\"header\",\"tables\","
        "\"vectors\"],\"deep\":null,\"findings\":[{\"rule\":\"index-slot\",\"field\":\"index "
        "entry\",\"subject\":\"data type #1 (type 2)\",\"stage\":\"vectors\",\"offset\":",
        ",\"seen\":1000,\"bound\":40,\"count\":20,",
        "\"library\":{\"function\":\"dbOpen\",\"code\":-100,\"message\":\"Geoeffnete Datei ist "
        "wahrscheinlich nicht vollstaendig.\"}}],\"left_out\":0,\"total\":20,",
        "the deep checks did not run"}) {
    EXPECT_NE(json.out.find(member), std::string::npos) << member << "\n" << json.out;
  }
  // A fault of the header comes first, and what follows it is left out.
  put_word(bytes, 1160, 5);  // nActiveSectionHandle
  rbtest::write_file("damaged.db", bytes);
  const ToolRun one = run_tool("check damaged.db --max-findings 1");
  EXPECT_EQ(one.out,
            "damaged.db: open-handle: nActiveSectionHandle of the header at offset 1160 is 5, "
            "against 1: the header names an open data input or section that does not exist "
            "(dbOpen refuses the file: -100 Geoeffnete Datei ist wahrscheinlich nicht "
            "vollstaendig.)\n"
            "damaged.db: 1 more finding left out (21 in all; --max-findings 0 lists every one)\n");
}

}  // namespace
