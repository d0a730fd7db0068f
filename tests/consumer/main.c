/* A host built against an installed recbase: creates a database, writes a
 * record, closes the file, opens it again read only and reads the record
 * back. Exits 0 when everything matched. */
#include <stdio.h>
#include <string.h>

#include <recbase.h>

#define DB_NAME "consumer.db"

static int fail(const char* what, int32_t result) {
  printf("consumer: %s failed (%d)\n", what, (int)result);
  return 1;
}

int main(void) {
  DataDesc types[1] = {{1, 0, 32, 4096, 100}}; /* type 1: plain, 32 bytes */
  char written[32] = "written by the consumer";
  char read_back[32];
  int32_t file;
  int32_t rc;

  memset(read_back, 0, sizeof read_back);
  if ((rc = dbInit(8, 2)) != 0) return fail("dbInit", rc);

  file = dbCreate(DB_NAME, 1, types, 0, DB_MODE_WRITE);
  if (file < 0) return fail("dbCreate", file);
  if ((rc = dbWrite(file, 1, 3, 0, written)) < 0) return fail("dbWrite", rc);
  if ((rc = dbClose(file)) < 0) return fail("dbClose", rc);

  file = dbOpen(DB_NAME, 0);
  if (file < 0) return fail("dbOpen", file);
  if ((rc = dbRead(file, 1, 3, 0, read_back, (int32_t)sizeof read_back)) < 0)
    return fail("dbRead", rc);
  if (memcmp(written, read_back, sizeof written) != 0) {
    printf("consumer: record read back differs\n");
    return 1;
  }
  if ((rc = dbClose(file)) < 0) return fail("dbClose", rc);
  if ((rc = dbExit()) != 0) return fail("dbExit", rc);

  remove(DB_NAME);
  printf("consumer: record written and read back with recbase %s\n", dbGetLibVersion());
  return 0;
}
