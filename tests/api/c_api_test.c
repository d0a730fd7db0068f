/* A C host against the shipped library: the header compiles as C, the
 * exported names link undecorated, and a database survives a reopen. */
#include <stdio.h>
#include <string.h>

#include "recbase.h"

static int failures = 0;

#define CHECK_EQ(actual, expected)                                                              \
  do {                                                                                          \
    long a_ = (long)(actual), e_ = (long)(expected);                                            \
    if (a_ != e_) {                                                                             \
      fprintf(stderr, "%s:%d: %s is %ld, expected %ld\n", __FILE__, __LINE__, #actual, a_, e_); \
      ++failures;                                                                               \
    }                                                                                           \
  } while (0)

int main(void) {
  DataDesc types[2] = {{1, 0, 100, 4096, 1000}, {7, DTF_INDEX, 16, 1024, 50}};
  DataDesc later = {9, 0, 32, 4096, 0};
  int32_t file;

  CHECK_EQ(strcmp(dbGetLibVersion(), "1.01.0000 - 10.09.05"), 0);
  CHECK_EQ(dbInit(4, 2), 0);
  file = dbCreate("c_api.db", 2, types, 0, DB_MODE_WRITE);
  CHECK_EQ(file, 0);
  CHECK_EQ(dbBeginData(file, &later), 2);
  CHECK_EQ(dbEndData(file), 2);
  CHECK_EQ(dbClose(file), 4096);

  file = dbOpen("c_api.db", 0);
  CHECK_EQ(file, 0);
  CHECK_EQ(dbClose(file), 0);
  CHECK_EQ(dbOpen("missing.db", 0), DB_ERR_OPEN);
  CHECK_EQ(dbGetLastError(), DB_ERR_OPEN);
  CHECK_EQ(dbExit(), 0);
  CHECK_EQ(dbExit(), DB_ERR_NO_CASH);

  printf("%d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
  return failures == 0 ? 0 : 1;
}
