/* Example host: creates a database with data types of every kind, writes
 * records, closes it, reopens it for reading and verifies and reports what
 * it finds. */
#include <stdio.h>
#include <string.h>

#include "recbase.h"

#define DB_NAME "example.db"

enum { PLAIN = 1, INDEXED = 2, RUNS = 3, PLACED = 4, LATER = 5 };

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
  check("dbClose (header bytes written)", dbClose(file), 4096);

  printf("reopen " DB_NAME " for reading\n");
  file = check("dbOpen(read only)", dbOpen(DB_NAME, 0), 0);
  if (file < 0) return 1;
  verify_all(file);
  check("dbClose", dbClose(file), 0);

  check("errors logged", dbGetErrorCount(), 0);
  check("dbExit", dbExit(), 0);
  printf(failures == 0 ? "all checks passed\n" : "%d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
