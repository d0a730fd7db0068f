/* Example host: creates a database with data types of every kind, writes
 * records, closes it, reopens it for reading and verifies and reports what
 * it finds. */
#include <stdio.h>
#include <string.h>

#include "recbase.h"

#define DB_NAME "example.db"

enum { PLAIN = 1, INDEXED = 2, RUNS = 3, PLACED = 4, LATER = 5 };
enum { SECTION = 1, KEYS = 10 }; /* section number 1 with keys of two values */

typedef struct Reading {
  int32_t station;
  int32_t value;
  char label[24];
} Reading;

static int failures = 0;

static int32_t check(const char* what, int32_t result, int32_t expected) {
  printf("  %-46s -> %d\n", what, (int)result);
  if (result != expected) {
    printf("  ** expected %d\n", (int)expected);
    ++failures;
  }
  return result;
}

static Reading reading(int32_t station, int32_t value) {
  Reading r;
  memset(&r, 0, sizeof r);
  r.station = station;
  r.value = value;
  snprintf(r.label, sizeof r.label, "station %d", (int)station);
  return r;
}

static void write_all(int32_t file) {
  int32_t i;
  DataDesc later = {LATER, 0, sizeof(Reading), 4096, 0};
  for (i = 0; i < 100; ++i) {
    Reading r = reading(i, i * i);
    dbWrite(file, PLAIN, i, 0, &r);
  }
  for (i = 0; i < 20; ++i) {
    Reading r = reading(1000 + i * 37, -i);
    dbWrite(file, INDEXED, 1000 + i * 37, 0, &r); /* sparse record numbers */
  }
  for (i = 0; i < 3; ++i) {
    Reading r = reading(7, i);
    dbWrite(file, RUNS, 7, i, &r); /* one run of three records */
  }
  for (i = 0; i < 5; ++i) {
    Reading r = reading(500 + i, i);
    dbWrite(file, PLACED, i, 0, &r);
  }
  check("dbBeginData(type 5)", dbBeginData(file, &later), 4);
  for (i = 0; i < 50; ++i) {
    Reading r = reading(i, 5 * i);
    dbWrite(file, LATER, i, 0, &r);
  }
  check("dbEndData", dbEndData(file), 4);
}

/* Key i is (i, 7 * i mod 10); it owns a data type at place 0 holding
 * 1 + i mod 3 records. */
static void write_section(int32_t file) {
  int32_t i, k;
  int32_t section =
      check("dbBeginSections(section 1, 2 key values)", dbBeginSections(file, SECTION, 2, 0), 0);
  for (i = 0; i < KEYS; ++i) {
    int32_t keys[4] = {0, 0, 0, 0};
    DataDesc place0 = {0, 0, sizeof(Reading), 1024, 0};
    keys[0] = i;
    keys[1] = (7 * i) % 10;
    dbBeginSection(file, SECTION, keys);
    dbBeginDataS(file, &place0, SECTION);
    for (k = 0; k <= i % 3; ++k) {
      Reading r = reading(100 * i + k, k);
      dbWriteS(file, 0, k, 0, &r, sizeof r, SECTION);
    }
    dbEndDataS(file);
    dbEndSection(file, section);
  }
  check("dbEndSections", dbEndSections(file, section), section);
}

static void verify_section(int32_t file) {
  int32_t keys[4] = {0, 0, 0, 0};
  int32_t found = 0, ok = 0, mode = 0;
  while (dbGetKey(file, SECTION, mode, keys) == 1) {
    int32_t i = keys[0], k;
    mode = 1;
    ++found;
    if (keys[1] != (7 * i) % 10) continue;
    for (k = 0; k <= i % 3; ++k) {
      Reading got, expected = reading(100 * i + k, k);
      if (dbReadS(file, 0, k, 0, &got, sizeof got, SECTION) != 0) break;
      if (memcmp(&got, &expected, sizeof got) != 0) break;
    }
    if (k > i % 3) ++ok;
  }
  printf("  keys enumerated: %d, with all their records: %d of %d\n", (int)found, (int)ok, KEYS);
  if (found != KEYS || ok != KEYS) ++failures;
}

/* Writes the structure dumps of the open file to "tovek.tst" and shows
 * them. */
static void show_dump(int32_t file) {
  char line[256];
  FILE* dump;
  remove("tovek.tst");
  check("dbDumpFileDef", dbDumpFileDef(file), 0);
  check("dbDumpAllDataCtrl", dbDumpAllDataCtrl(file), 0);
  check("dbDumpSection(section 1)", dbDumpSection(file, SECTION, 1), 0);
  check("dbDumpSectionKeys(section 1)", dbDumpSectionKeys(file, SECTION, 1), 1);
  dump = fopen("tovek.tst", "r");
  if (dump == NULL) {
    ++failures;
    return;
  }
  printf("--- tovek.tst ---\n");
  while (fgets(line, sizeof line, dump) != NULL) fputs(line, stdout);
  printf("--- end of tovek.tst ---\n");
  fclose(dump);
}

static int verify(int32_t file, int32_t type, int32_t rec, int32_t sub, Reading expected) {
  Reading got;
  memset(&got, 0, sizeof got);
  if (dbRead(file, type, rec, sub, &got, sizeof got) != 0) return 0;
  return memcmp(&got, &expected, sizeof got) == 0;
}

static void verify_all(int32_t file) {
  int32_t i, ok = 0, total = 0;
  for (i = 0; i < 100; ++i, ++total) ok += verify(file, PLAIN, i, 0, reading(i, i * i));
  for (i = 0; i < 20; ++i, ++total) {
    ok += verify(file, INDEXED, 1000 + i * 37, 0, reading(1000 + i * 37, -i));
  }
  for (i = 0; i < 3; ++i, ++total) ok += verify(file, RUNS, 7, i, reading(7, i));
  for (i = 0; i < 5; ++i, ++total) ok += verify(file, PLACED, i, 0, reading(500 + i, i));
  for (i = 0; i < 50; ++i, ++total) ok += verify(file, LATER, i, 0, reading(i, 5 * i));
  printf("  records verified: %d of %d\n", (int)ok, (int)total);
  if (ok != total) ++failures;
}

int main(void) {
  DataDesc declared[4] = {
      {PLAIN, 0, sizeof(Reading), 4096, 100},
      {INDEXED, DTF_INDEX, sizeof(Reading), 1024, 10},
      {RUNS, DTF_INDEX | DTF_ITERATOR, sizeof(Reading), 4096, 16},
      {PLACED, DTF_INDEX | DTF_PLACED, sizeof(Reading), sizeof(Reading), 0},
  };
  int32_t file;

  printf("recbase %s\n", dbGetLibVersion());
  check("dbInit(16 cache slots, 4 files)", dbInit(16, 4), 0);

  printf("create and fill " DB_NAME "\n");
  file = check("dbCreate(4 data types)", dbCreate(DB_NAME, 4, declared, 0, DB_MODE_WRITE), 0);
  if (file < 0) return 1;
  write_all(file);
  write_section(file);
  check("dbClose (header bytes written)", dbClose(file), 4096);

  printf("reopen " DB_NAME " for reading\n");
  file = check("dbOpen(read only)", dbOpen(DB_NAME, 0), 0);
  if (file < 0) return 1;
  verify_all(file);
  verify_section(file);
  show_dump(file);
  check("dbClose", dbClose(file), 0);

  check("errors logged", dbGetErrorCount(), 0);
  check("dbExit", dbExit(), 0);
  printf(failures == 0 ? "all checks passed\n" : "%d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
