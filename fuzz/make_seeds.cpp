// Writes small valid database files, one per scenario, into the directory
// given as the only argument: the seed corpus of the open fuzzer. Every
// file is opened again for reading before it is kept; the program fails when
// a scenario or a reopening fails.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "recbase.h"

namespace {

int g_failures = 0;

std::int32_t expect(const char* what, std::int32_t result, bool ok) {
  if (!ok) {
    std::fprintf(stderr, "make_seeds: %s -> %d\n", what, result);
    ++g_failures;
  }
  return result;
}

std::int32_t expect_ok(const char* what, std::int32_t result) {
  return expect(what, result, result >= 0);
}

struct Record {
  std::int32_t number;
  std::int32_t value;
  char label[16];
};

Record record(std::int32_t number, std::int32_t value) {
  Record r{};
  r.number = number;
  r.value = value;
  std::snprintf(r.label, sizeof r.label, "rec %d", static_cast<int>(number));
  return r;
}

void write_range(std::int32_t file, std::int32_t type, std::int32_t first, std::int32_t count,
                 std::int32_t sub = 0) {
  for (std::int32_t i = first; i < first + count; ++i) {
    const Record r = record(i, sub);
    expect_ok("dbWrite", dbWrite(file, type, i, sub, &r));
  }
}

// Types of every kind, with records.
void every_kind(const char* name) {
  const DataDesc declared[] = {
      {1, 0, sizeof(Record), 256, 20},
      {2, DTF_INDEX, sizeof(Record), 128, 8},
      {3, DTF_INDEX | DTF_ITERATOR, sizeof(Record), 256, 4},
      {4, DTF_INDEX | DTF_PLACED, sizeof(Record), sizeof(Record), 0},
  };
  const std::int32_t file = expect_ok("dbCreate", dbCreate(name, 4, declared, 0, DB_MODE_WRITE));
  if (file < 0) return;
  write_range(file, 1, 0, 12);
  for (std::int32_t i = 0; i < 6; ++i) {
    const Record r = record(100 + 9 * i, i);
    expect_ok("dbWrite indexed", dbWrite(file, 2, 100 + 9 * i, 0, &r));
  }
  for (std::int32_t sub = 0; sub < 3; ++sub) write_range(file, 3, 2, 1, sub);
  write_range(file, 4, 0, 3);
  expect("dbClose", dbClose(file), true);
}

// A section of two-level keys, each with a data type of its own.
void section_with_keys(const char* name) {
  const DataDesc declared[] = {{1, DTF_INDEX, sizeof(Record), 128, 4}};
  const std::int32_t file = expect_ok("dbCreate", dbCreate(name, 1, declared, 1, DB_MODE_WRITE));
  if (file < 0) return;
  write_range(file, 1, 0, 2);
  const std::int32_t section = expect_ok("dbBeginSections", dbBeginSections(file, 1, 2, 0));
  for (std::int32_t i = 0; i < 4 && section >= 0; ++i) {
    std::int32_t keys[4] = {i, (3 * i) % 4, 0, 0};
    expect_ok("dbBeginSection", dbBeginSection(file, 1, keys));
    const DataDesc place = {0, 0, sizeof(Record), 128, 0};
    expect_ok("dbBeginDataS", dbBeginDataS(file, &place, 1));
    for (std::int32_t k = 0; k <= i % 3; ++k) {
      const Record r = record(10 * i + k, k);
      expect_ok("dbWriteS", dbWriteS(file, 0, k, 0, &r, sizeof r, 1));
    }
    expect_ok("dbEndDataS", dbEndDataS(file));
    expect_ok("dbEndSection", dbEndSection(file, section));
  }
  if (section >= 0) expect_ok("dbEndSections", dbEndSections(file, section));
  expect("dbClose", dbClose(file), true);
}

// A file grown in the middle, reopened and given a data type later.
void grown(const char* name) {
  const DataDesc declared[] = {
      {1, 0, sizeof(Record), 128, 4},
      {2, DTF_INDEX, sizeof(Record), 128, 4},
  };
  std::int32_t file = expect_ok("dbCreate", dbCreate(name, 2, declared, 0, DB_MODE_WRITE));
  if (file < 0) return;
  write_range(file, 2, 0, 4);
  write_range(file, 1, 0, 20);  // beyond its area: the file grows behind it
  expect("dbClose", dbClose(file), true);

  file = expect_ok("dbOpen", dbOpen(name, DB_MODE_WRITE));
  if (file < 0) return;
  const DataDesc later = {5, DTF_INDEX, sizeof(Record), 256, 0};
  expect_ok("dbBeginData", dbBeginData(file, &later));
  write_range(file, 5, 0, 10);
  expect_ok("dbEndData", dbEndData(file));
  write_range(file, 2, 4, 6);
  expect("dbClose", dbClose(file), true);
}

// No data type at all, only the catalogue's empty capacity.
void empty(const char* name) {
  const std::int32_t file = expect_ok("dbCreate", dbCreate(name, 0, nullptr, 0, DB_MODE_WRITE));
  if (file >= 0) expect("dbClose", dbClose(file), true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  expect_ok("dbInit", dbInit(8, 2));
  // Small vectors keep the seeds small.
  dbSetMaxDataType(16);
  dbSetMaxSection(4);
  dbSetBucketBlock(256);
  dbSetBucket(4);
  dbSetBucketMsk(3);

  struct Scenario {
    const char* name;
    void (*make)(const char*);
  };
  const Scenario scenarios[] = {
      {"every_kind.db", every_kind},
      {"section_with_keys.db", section_with_keys},
      {"grown.db", grown},
      {"empty.db", empty},
  };
  for (const Scenario& s : scenarios) {
    const std::string path = std::string(argv[1]) + "/" + s.name;
    s.make(path.c_str());
    const std::int32_t file = expect_ok(s.name, dbOpen(path.c_str(), 0));
    if (file >= 0) dbClose(file);
  }
  expect_ok("dbExit", dbExit());
  return g_failures == 0 ? 0 : 1;
}
