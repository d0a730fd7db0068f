/* Example host: creates a database with data types, closes it, reopens it
 * and reports what it finds. */
#include <stdio.h>

#include "recbase.h"

#define DB_NAME "example.db"

static int check(const char* what, int32_t result) {
  printf("%-44s -> %d\n", what, (int)result);
  return result;
}

int main(void) {
  DataDesc declared[2] = {
      {1, 0, 100, 4096, 1000},      /* plain records of 100 bytes       */
      {2, DTF_INDEX, 16, 1024, 100} /* indexed records of 16 bytes      */
  };
  DataDesc later = {5, DTF_INDEX | DTF_ITERATOR, 40, 4096, 0};
  int32_t file;

  printf("recbase %s\n", dbGetLibVersion());
  if (check("dbInit(16 cache slots, 4 files)", dbInit(16, 4)) != 0) return 1;

  file = check("dbCreate(" DB_NAME ", 2 types)", dbCreate(DB_NAME, 2, declared, 0, DB_MODE_WRITE));
  if (file < 0) return 1;
  check("dbBeginData(type 5)", dbBeginData(file, &later));
  check("dbEndData", dbEndData(file));
  check("dbClose (header bytes written)", dbClose(file));

  file = check("dbOpen(" DB_NAME ", read only)", dbOpen(DB_NAME, 0));
  if (file < 0) return 1;
  check("dbClose", dbClose(file));

  check("errors logged", dbGetErrorCount());
  check("dbExit", dbExit());
  return 0;
}
