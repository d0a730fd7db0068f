// The tool's whole-database commands run as a program: dump --all and
// load, compact, recover and salvage.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "file/journal.h"
#include "frame/io_env.h"
#include "support/stored.h"
#include "support/testkit.h"
#include "tool_run.h"

namespace {

using rbtest::desc;
using rbtest::file_exists;
using rbtest::has;
using rbtest::Pair;
using rbtest::read_file;
using rbtest::run_tool;
using rbtest::stored;
using rbtest::ToolRun;
using rbtest::write_file;

void put(std::int32_t f, std::int32_t type, std::int32_t rec, std::int32_t sub = 0) {
  const Pair p{rec, 1000 * type + sub};
  ASSERT_EQ(dbWrite(f, type, rec, sub, &p), 0) << type << " " << rec;
}

void put_s(std::int32_t f, std::int32_t section, std::int32_t place, std::int32_t rec,
           std::int32_t sub = 0) {
  const Pair p{rec, 100 * section + 10 * place + sub};
  ASSERT_EQ(dbWriteS(f, place, rec, sub, &p, 8, section), 0) << place << " " << rec;
}

// Data types of every kind declared at creation and later, one number
// declared twice; section 1 with two-value keys whose places hold types of
// every kind, section 3 with one-value keys in four small buckets (one key
// added twice), section 2 without buckets; tunables off their defaults.
void make_every_kind(const char* name, std::int32_t room = 100) {
  dbSetMaxDataType(64);
  dbSetMaxSection(8);
  const DataDesc types[] = {desc(1, 0, 8, 256, room), desc(2, DTF_INDEX, 8, 256, 50),
                            desc(3, DTF_INDEX | DTF_ITERATOR, 8, 256, 20),
                            desc(4, DTF_INDEX | DTF_PLACED, 8, 8, 10), desc(9, 0, 8, 64, 40)};
  const std::int32_t f = dbCreate(name, 5, types, 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  for (std::int32_t i = 0; i < 40; ++i) {
    put(f, 1, i);
    put(f, 2, 3 * i);
    put(f, 9, i);
  }
  for (std::int32_t sub = 0; sub < 3; ++sub) put(f, 3, 7, sub);
  for (std::int32_t sub = 0; sub < 2; ++sub) put(f, 3, 2, sub);
  put(f, 4, 5);
  put(f, 4, 2);
  const DataDesc again = desc(9, DTF_INDEX, 8, 64);
  ASSERT_GE(dbBeginData(f, &again), 0);
  put(f, 9, 11);
  ASSERT_GE(dbEndData(f), 0);
  const DataDesc later = desc(5, 0, 8, 64);
  ASSERT_GE(dbBeginData(f, &later), 0);
  for (std::int32_t i = 0; i < 20; ++i) put(f, 5, i);
  ASSERT_GE(dbEndData(f), 0);

  const std::int32_t s1 = dbBeginSections(f, 1, 2, 0);
  ASSERT_GE(s1, 0);
  for (std::int32_t i = 0; i < 4; ++i) {
    std::int32_t keys[4] = {i, 7 - i, 0, 0};
    ASSERT_EQ(dbBeginSection(f, 1, keys), s1);
    const DataDesc plain = desc(0, 0, 8, 64);
    ASSERT_GE(dbBeginDataS(f, &plain, 1), 0);
    for (std::int32_t r = 0; r <= i; ++r) put_s(f, 1, 0, r);
    ASSERT_GE(dbEndDataS(f), 0);
    if (i == 1) {
      const DataDesc kinds[] = {desc(1, DTF_INDEX, 8, 64), desc(2, DTF_INDEX | DTF_ITERATOR, 8, 64),
                                desc(3, DTF_INDEX | DTF_PLACED, 8, 8)};
      for (const DataDesc& d : kinds) {
        ASSERT_GE(dbBeginDataS(f, &d, 1), 0);
        for (std::int32_t sub = 0; sub < (d.nType == 2 ? 3 : 1); ++sub)
          put_s(f, 1, d.nType, 9, sub);
        if (d.nType == 1) put_s(f, 1, 1, 4);
        ASSERT_GE(dbEndDataS(f), 0);
      }
    }
    ASSERT_EQ(dbEndSection(f, s1), s1);
  }
  ASSERT_EQ(dbEndSections(f, s1), s1);

  dbSetBucket(4);
  dbSetBucketMsk(3);
  dbSetBucketBlock(256);
  const std::int32_t s3 = dbBeginSections(f, 3, 1, 7);
  ASSERT_GE(s3, 0);
  for (const std::int32_t v : {5, 9, 5, 2}) {
    std::int32_t keys[4] = {v, 0, 0, 0};
    ASSERT_EQ(dbBeginSection(f, 3, keys), s3);
    if (v == 9) {
      const DataDesc plain = desc(4, 0, 8, 64);
      ASSERT_GE(dbBeginDataS(f, &plain, 3), 0);
      put_s(f, 3, 4, 0);
      ASSERT_GE(dbEndDataS(f), 0);
    }
    ASSERT_EQ(dbEndSection(f, s3), s3);
  }
  ASSERT_EQ(dbEndSections(f, s3), s3);
  ASSERT_GE(dbAddSection(f, 2, 0), 0);
  ASSERT_EQ(dbClose(f), 4096);
}

// What export prints of every data type and section place of the sample
// (but type 2 when it is lost).
std::string exports(const std::string& file, bool with_type2 = true) {
  std::string all;
  for (const char* type : {"1", "2", "3", "4", "5", "9", "0 --section 1", "1 --section 1",
                           "2 --section 1", "3 --section 1", "4 --section 3"}) {
    if (!with_type2 && std::string(type) == "2") continue;
    const ToolRun run = run_tool("export " + file + " " + type);
    EXPECT_EQ(run.status, 0) << file << " " << type << "\n" << run.err;
    all += std::string(type) + ":\n" + run.out;
  }
  return all;
}

// The lines of a dump that hold records and keys.
std::string records_and_keys(const std::string& dump) {
  std::string kept;
  std::size_t from = 0;
  while (from < dump.size()) {
    const std::size_t to = dump.find('\n', from);
    const std::string line = dump.substr(from, to - from);
    if (line.rfind("type ", 0) != 0 && line.rfind("database ", 0) != 0) kept += line + "\n";
    from = to == std::string::npos ? dump.size() : to + 1;
  }
  return kept;
}

class ArchiveTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    for (const char* f : {"arch.db", "arch2.db", "arch3.db", "arch_bad.db", "arch_new.db"}) {
      rbtest::remove_file(f);
    }
    make_every_kind("arch.db");
  }
};

TEST_F(ArchiveTest, DumpAllLoadsBackToTheSameTextAndRecords) {
  const ToolRun dumped = run_tool("dump arch.db --all");
  ASSERT_EQ(dumped.status, 0) << dumped.err;
  const std::string& text = dumped.out;
  // Plain line ends on every system.
  EXPECT_EQ(read_file("tool.out").find('\r'), std::string::npos);
  write_file("arch.txt", text);
  for (const char* line :
       {"recbase-dump 1\ndatabase mode=0x00000002 max-data-type=64 max-section=8\n",
        "type 3 iterator size=8 block=256 initial=20\n", "record 3 7 2 07000000ba0b0000\n",
        "section 3 keys=1 buckets=4 mask=3 bucket-block=256 flags=7\n", "key 9 -1 -1 -1\n",
        "place 2 iterator size=8 block=64\nsrecord 2 9 0 ", "section 2 keys=0 ",
        "end types=6 places=8 records=125 sections=3 keys=8\n"}) {
    EXPECT_TRUE(has(text, line)) << line << "\n" << text;
  }
  // The first declaration of type 9 is named by no number.
  EXPECT_TRUE(has(dumped.err, "note: left out 1 data type that no number or key names (40"))
      << dumped.err;

  const ToolRun loaded = run_tool("load arch.txt -o arch2.db");
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_EQ(loaded.out, "arch2.db: 6 data types, 8 places, 125 records, 3 sections, 8 keys\n");
  const ToolRun again = run_tool("dump arch2.db --all");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, text);
  EXPECT_EQ(exports("arch2.db"), exports("arch.db"));
  EXPECT_EQ(run_tool("check arch2.db").status, 0);

  // From standard input; an existing file is replaced when asked.
  EXPECT_EQ(run_tool("load - -o arch3.db <arch.txt").status, 0);
  EXPECT_EQ(run_tool("dump arch3.db --all").out, text);
  EXPECT_EQ(run_tool("load arch.txt -o arch3.db --force").status, 0);
}

TEST_F(ArchiveTest, LoadNamesTheLineItCannotTakeAndLeavesNoFile) {
  const std::string text = run_tool("dump arch.db --all").out;
  const auto lines_of = [](const std::string& t) {
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < t.size();) {
      const std::size_t to = t.find('\n', from);
      lines.push_back(t.substr(from, to - from));
      from = to + 1;
    }
    return lines;
  };
  const std::vector<std::string> lines = lines_of(text);
  const auto joined = [](const std::vector<std::string>& ls) {
    std::string t;
    for (const std::string& l : ls) t += l + "\n";
    return t;
  };
  // Line 10 is the second record of type 1, line 11 the third.
  ASSERT_EQ(lines[9].rfind("record 1 1 0 ", 0), 0u) << lines[9];
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::string message;
  };
  std::vector<std::string> cut(lines.begin(), lines.end() - 1);
  std::vector<std::string> bad_hex = lines;
  bad_hex[10].back() = 'x';
  std::vector<std::string> swapped = lines;
  std::swap(swapped[9], swapped[10]);
  std::vector<std::string> dropped = lines;
  dropped.erase(dropped.begin() + 10);
  std::vector<std::string> short_record = lines;
  short_record[10].resize(short_record[10].size() - 2);
  const Case cases[] = {
      {"cut short", cut,
       ":" + std::to_string(lines.size()) + ": the text ends before its end line"},
      {"bad hex", bad_hex, ":11: record bytes: '0x' at byte 7 is not hexadecimal"},
      {"out of order", swapped, ":11: type 1 record 1 sub 0 is out of order"},
      {"a record missing", dropped,
       ":" + std::to_string(lines.size() - 1) +
           ": the end line counts 6 types, 8 places, 125 records, 3 sections, 8 keys; the text "
           "holds 6 types, 8 places, 124 records"},
      {"short record", short_record, ":11: type 1 record 2: 7 bytes, the type's records have 8"},
      {"foreign text", {"hello"}, ":1: not a recbase dump"},
  };
  for (const Case& c : cases) {
    write_file("arch_bad.txt", joined(c.lines));
    const ToolRun run = run_tool("load arch_bad.txt -o arch_bad.db");
    EXPECT_EQ(run.status, 2) << c.what << "\n" << run.err;
    EXPECT_TRUE(has(run.err, "recbase load: arch_bad.txt" + c.message)) << c.what << "\n"
                                                                        << run.err;
    EXPECT_FALSE(file_exists("arch_bad.db")) << c.what;
  }
}

TEST_F(ArchiveTest, CompactKeepsEveryRecordAndDropsTheRoomNothingUses) {
  // Room for 5000 records of type 1 that hold 40.
  make_every_kind("arch3.db", 5000);
  const ToolRun run = run_tool("compact arch3.db -o arch_new.db");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto before = std::filesystem::file_size("arch3.db");
  const auto after = std::filesystem::file_size("arch_new.db");
  EXPECT_LT(after + 32 * 1024, before);
  EXPECT_TRUE(has(run.out, "arch3.db: " + std::to_string(before) +
                               " bytes\narch_new.db: " + std::to_string(after) + " bytes, "))
      << run.out;
  EXPECT_TRUE(has(run.out, "kept: 6 data types, 8 places, 125 records, 3 sections, 8 keys\n"))
      << run.out;
  EXPECT_TRUE(has(run.out, "left out: 1 data type that no number or key names")) << run.out;
  const std::string compacted = run_tool("dump arch_new.db --all").out;
  EXPECT_TRUE(has(compacted, "type 1 plain size=8 block=256 initial=40\n")) << compacted;
  EXPECT_EQ(records_and_keys(compacted), records_and_keys(run_tool("dump arch3.db --all").out));
  EXPECT_EQ(exports("arch_new.db"), exports("arch3.db"));
}

TEST_F(ArchiveTest, RecoverRollsBackAPendingJournalOnce) {
  const std::string committed = read_file("arch.db");
  const auto size = static_cast<std::int64_t>(committed.size());
  {
    // An interrupted writer: two pages saved, then overwritten and the file grown.
    rb::IoFile* db = rb::platform_env().open("arch.db", rb::OpenMode::read_write);
    ASSERT_NE(db, nullptr);
    rb::Journal journal;
    journal.begin(rb::platform_env(), "arch.db-journal", size);
    ASSERT_EQ(journal.protect(*db, 0, 2 * rb::kJournalPage), 0);
    const std::string torn(2 * rb::kJournalPage, 'X');
    EXPECT_EQ(db->write_at(size, torn.data(), std::int64_t(torn.size())),
              std::int64_t(torn.size()));
    EXPECT_EQ(db->write_at(0, torn.data(), std::int64_t(torn.size())), std::int64_t(torn.size()));
    delete db;
  }
  const ToolRun run = run_tool("recover arch.db");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "arch.db: rolled back arch.db-journal: 2 saved pages written back, the file "
            "cut to its committed length of " +
                std::to_string(size) + " bytes (it was " + std::to_string(size + 8192) +
                " bytes)\n");
  EXPECT_EQ(read_file("arch.db"), committed);
  EXPECT_FALSE(file_exists("arch.db-journal"));
  EXPECT_EQ(run_tool("recover arch.db").out,
            "arch.db: no journal beside the file: nothing to "
            "recover\n");
  write_file("arch.db-journal", "");
  EXPECT_EQ(run_tool("recover arch.db").out,
            "arch.db: removed arch.db-journal, a stale journal (empty) that restored nothing\n");
  EXPECT_FALSE(file_exists("arch.db-journal"));
  EXPECT_EQ(read_file("arch.db"), committed);
}

TEST_F(ArchiveTest, SalvageKeepsWhatReadsAndSaysWhatItLeftBehind) {
  const std::string good = read_file("arch.db");
  const auto def = rbtest::stored_def(good);
  // Type 2 (catalogue entry 1) claims one record more to a block than fit:
  // dbOpen refuses the file, and only that type is lost.
  std::string bytes = good;
  const std::size_t type2 = def.lOffsetDataCtrl + 64 + offsetof(rb::DataCtrl, lBlockRecs);
  rbtest::put_word(bytes, type2, rbtest::word_at(bytes, type2) + 1);
  write_file("arch_bad.db", bytes);
  ToolRun run = run_tool("salvage arch_bad.db -o arch_new.db");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(
      has(run.out,
          "arch_bad.db: dbOpen refuses the file: the file is damaged or truncated (dbOpen -100: "))
      << run.out;
  EXPECT_TRUE(has(run.out, "kept: 5 data types, 8 places, 85 records, 3 sections, 8 keys\n"))
      << run.out;
  EXPECT_TRUE(has(run.out,
                  "  type 2 left behind: 33 records to a block of 256 bytes, which "
                  "holds 32; it counted 40 records\n"))
      << run.out;
  EXPECT_EQ(run_tool("check arch_new.db").status, 0);
  EXPECT_EQ(exports("arch_new.db", false), exports("arch.db", false));

  // A key whose value changed lies in a bucket its values do not select:
  // the file opens, dump passes it on with a warning, salvage leaves it.
  const auto section = stored<rb::Section>(good, def.lOffsetSection);
  const auto bucket =
      stored<rb::DataCtrl>(good, def.lOffsetDataCtrl + 64 * (section.nHashFstDataCtrlHandle + 7));
  bytes = good;
  rbtest::put_word(bytes, bucket.lOffsetData + offsetof(rb::KeyRecord, nKey), 1);
  write_file("arch_bad.db", bytes);
  const ToolRun dumped = run_tool("dump arch_bad.db --all");
  EXPECT_EQ(dumped.status, 0);
  EXPECT_TRUE(has(dumped.err,
                  "warning: section 1: key (1, 7) lies in bucket 7 but its values "
                  "select bucket 8"))
      << dumped.err;
  run = run_tool("salvage arch_bad.db -o arch_new.db --force");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(has(run.out, "left behind: 0 data types, 0 records, 0 sections, 1 key\n")) << run.out;
  EXPECT_TRUE(has(run.out, "key (1, 7) lies in bucket 7")) << run.out;

  // Nothing of a file without a header can be salvaged.
  write_file("arch_bad.db", "not a database");
  run = run_tool("salvage arch_bad.db -o arch_new.db --force");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(has(run.err, "not a database file")) << run.err;
}

// The fuzzer's inputs hold every kind of damage it found: check finds a
// fault in exactly the regressions dbOpen refuses, salvage never fails on
// them other than by saying nothing can be read, and what it makes opens.
TEST_F(ArchiveTest, SalvageTakesEveryFuzzInput) {
  int n = 0;
  for (const char* dir : {RECBASE_FUZZ_DIR "/regressions", RECBASE_FUZZ_DIR "/corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      // A sample of the corpus keeps the test short.
      if (std::string(dir).ends_with("corpus") && n++ % 8 != 0) continue;
      const std::string input = entry.path().string();
      if (!std::string(dir).ends_with("corpus")) {
        const std::int32_t opened = dbOpen(input.c_str(), 0);
        if (opened >= 0) dbClose(opened);
        EXPECT_EQ(run_tool("check \"" + input + "\"").status, opened < 0 ? 1 : 0) << input;
      }
      const ToolRun run = run_tool("salvage \"" + input + "\" -o arch_new.db --force");
      ASSERT_TRUE(run.status == 0 || run.status == 2) << input << "\n" << run.err;
      if (run.status != 0) continue;
      const std::int32_t f = dbOpen("arch_new.db", 0);
      EXPECT_GE(f, 0) << input << "\n" << run.out;
      dbClose(f);
    }
  }
}

// The fuzzer's seeds (files of every kind made by the library) load back
// to the same text.
TEST_F(ArchiveTest, SeedsRoundTrip) {
  for (const char* seed : {"every_kind.db", "section_with_keys.db", "grown.db", "empty.db"}) {
    const std::string path = std::string(RECBASE_FUZZ_DIR "/corpus/") + seed;
    const ToolRun dumped = run_tool("dump \"" + path + "\" --all");
    ASSERT_EQ(dumped.status, 0) << seed << "\n" << dumped.err;
    write_file("arch.txt", dumped.out);
    ASSERT_EQ(run_tool("load arch.txt -o arch2.db --force").status, 0) << seed;
    EXPECT_EQ(run_tool("dump arch2.db --all").out, dumped.out) << seed;
  }
}

}  // namespace
