/*
 * recbase: an embedded store for fixed-length records.
 *
 * A database lives in one binary file: a 4096-byte header, a data area of
 * record blocks per data type and a table area with the descriptor tables.
 * The host declares data types, writes and reads records by data type,
 * record number and sub-index, and groups records under keys of one to four
 * integers in sections.
 *
 * Conventions of the whole interface:
 *  - Every function returns a signed 32-bit value: 0, a count, an index or a
 *    file number on success, a negative code on failure (the exceptions are
 *    dbGetLibVersion and dbGetCashPtr, which return pointers).
 *  - Every failure is also counted and appended, in German, to the log file
 *    "tovek.log" in the current directory (see dbSetError).
 *  - File numbers are the slots of the file table made by dbInit,
 *    0 .. nFiles - 1.
 *  - All state is process-wide and unguarded: call the library from one
 *    thread at a time.
 *  - The host owns every buffer it passes; the library never keeps one.
 *  - Before dbInit every function that takes a file number answers -4 (its
 *    -5 cannot be logged without the library state); a number outside
 *    0 .. nFiles - 1 is treated as an empty slot.
 *
 * The header compiles as C and as C++.
 */
#ifndef RECBASE_H
#define RECBASE_H

#include <stdint.h>

#if defined(_WIN32)
#define RECBASE_CALL __cdecl
#if defined(RECBASE_STATIC)
#define RECBASE_API
#elif defined(RECBASE_BUILDING)
#define RECBASE_API __declspec(dllexport)
#else
#define RECBASE_API __declspec(dllimport)
#endif
#else
#define RECBASE_CALL
#if defined(RECBASE_BUILDING)
#define RECBASE_API __attribute__((visibility("default")))
#else
#define RECBASE_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------
 * Records and flags the host passes.
 * ------------------------------------------------------------------------- */

/* Description of a data type: five signed 32-bit words. dbCreate and
 * dbSetDataCtrl take an array of them; dbAddDataCtrl, dbBeginData take one
 * (only the first four words are read there). For the section variants the
 * first word is the place 0..9 in the section. */
typedef struct DataDesc {
  int32_t nType;        /* data type number, 0 or more                    */
  int32_t nFlags;       /* DTF_INDEX, DTF_PLACED, DTF_ITERATOR            */
  int32_t nDataSize;    /* record length in bytes, at least 1             */
  int32_t nBlockSize;   /* block length in bytes, at least nDataSize      */
  int32_t lMaxFileRecs; /* records the area must hold (dbCreate only)     */
} DataDesc;

/* Mode bits of dbCreate and dbOpen (stored in the header's nFlags). */
#define DB_MODE_WRITE 0x02     /* write access: tables rewritten at close    */
#define DB_MODE_LOCK 0x10      /* write lock: later openings read only       */
#define DB_MODE_CREATED 0x1000 /* set by dbCreate, cleared by dbClose       */

/* Data type flags. */
#define DTF_INDEX 0x1     /* records found through an index vector         */
#define DTF_PLACED 0x2    /* each record placed singly (needs DTF_INDEX)   */
#define DTF_ITERATOR 0x4  /* runs of records per number (needs DTF_INDEX)  */
#define DTF_BUCKET 0x1000 /* hash bucket type, made by the library only    */

/* Flags word of dbGetCashPtr. */
#define CASH_WRITE 0x1000 /* in: the caller will change the block          */
#define CASH_NEW 0x1      /* out: a slot was assigned to the block         */
#define CASH_READ 0x2     /* out: the block was read from the file         */
#define CASH_HIT 0x10     /* out: the block was in the cache               */
#define CASH_WRITTEN 0x20 /* out: the slot's dirty block was written back  */
#define CASH_FREED 0x40   /* out: the slot's previous buffer was released  */

/* ---------------------------------------------------------------------------
 * Result codes. Codes with a German log message of their own; every other
 * negative code is logged as "Interner Fehler.".
 * ------------------------------------------------------------------------- */
#define DB_OK 0
#define DB_ERR_FILE_POINTER (-1) /* no open file / no stream         */
#define DB_ERR_INDEX_ALLOC (-2)  /* index vector not allocated       */
#define DB_ERR_NO_VECTOR (-3)
#define DB_ERR_NO_SYSDATA (-4) /* dbInit never called              */
#define DB_ERR_NO_CASH (-5)    /* dbInit missing                   */
#define DB_ERR_NO_FILE (-6)    /* file number names no open file   */
#define DB_ERR_CREATE (-10)
#define DB_ERR_OPEN (-11)
#define DB_ERR_SEEK (-12) /* also: position beyond 2^31 - 1   */
#define DB_ERR_WRITE (-13)
#define DB_ERR_READ (-14)
#define DB_ERR_CLOSE (-15)
#define DB_ERR_DELETE (-16)
#define DB_ERR_SYNC (-17)    /* the device did not take a sync            */
#define DB_ERR_BUSY (-18)    /* another writer holds the file             */
#define DB_ERR_JOURNAL (-19) /* journal not written or not rolled back    */
#define DB_ERR_BEYOND_EOF (-20)
#define DB_ERR_NO_INDDATATYPES (-30)
#define DB_ERR_NO_INDSECTIONS (-31)
#define DB_ERR_INPUT_OPEN (-40) /* also the warning "implicitly closed" */
#define DB_ERR_INPUT_NOT_OPEN (-41)
#define DB_ERR_TYPE_UNDECLARED (-50)
#define DB_ERR_BAD_DESCRIPTION (-51)
#define DB_ERR_NOT_FOUND (-52)
#define DB_ERR_INDEX_UNDEFINED (-53)
#define DB_ERR_BAD_FLAGS (-54)
#define DB_ERR_NO_CASHBUFFER (-70)
#define DB_ERR_BAD_ARGUMENT (-90)
#define DB_ERR_INCOMPLETE_FILE (-100) /* file corrupt or truncated        */
#define DB_ERR_UNKNOWN_FORMAT (-101)
#define DB_ERR_WRITE_LOCKED (-102)
#define DB_ERR_TOO_MANY_SECTIONS (-110)
#define DB_ERR_SECTION_MISMATCH (-111)
#define DB_ERR_BAD_SECTION_HANDLE (-112)
#define DB_ERR_SECTION_CLOSE_ORDER (-113)
#define DB_ERR_NO_SECTION_READ (-114)
#define DB_ERR_BAD_SECTION_INDEX_READ (-115)
#define DB_ERR_VARLEN_READ (-116)
#define DB_ERR_NO_SECTION_WRITE (-117)
#define DB_ERR_VARLEN_WRITE (-118)
#define DB_ERR_BAD_SECTION_INDEX_WRITE (-119)

/* Codes without a message of their own. */
#define DB_ERR_NO_INDDATATYPES_PLACE (-55)
#define DB_ERR_VECTOR_GROWTH (-60)
#define DB_ERR_NO_ACTIVE_SECTION (-200)
#define DB_ERR_INIT_TWICE (-1001)
#define DB_ERR_INIT_ALLOC_CASHSYSTEM (-1002)
#define DB_ERR_INIT_ALLOC_BUFFER_TABLE (-1003)
#define DB_ERR_INIT_ALLOC_CASHCTRL (-1004)
#define DB_ERR_INIT_ALLOC_FILE_TABLE (-1005)
#define DB_ERR_CREATE_NO_SLOT (-1051)
#define DB_ERR_CREATE_ALLOC_FILECTRL (-1052)
#define DB_ERR_CREATE_ALLOC_DATACTRL (-1053)
#define DB_ERR_CREATE_ALLOC_SECTION (-1056)
#define DB_ERR_CREATE_ALLOC_INDDATATYPES (-1057)
#define DB_ERR_CREATE_ALLOC_INDSECTIONS (-1058)
#define DB_ERR_CREATE_ALLOC_STREAM (-1059)
#define DB_ERR_HEADER_WRITE_ALLOC (-1101)
#define DB_ERR_HEADER_READ_ALLOC (-1111)
#define DB_ERR_OPEN_NO_SLOT (-1251)
#define DB_ERR_OPEN_ALLOC_FILECTRL (-1252)
#define DB_ERR_OPEN_ALLOC_DATACTRL (-1253)
#define DB_ERR_OPEN_ALLOC_INDEXCTRL (-1254)
#define DB_ERR_OPEN_ALLOC_VECTOR_TABLE (-1255)
#define DB_ERR_OPEN_ALLOC_SECTION (-1256)
#define DB_ERR_OPEN_ALLOC_INDDATATYPES (-1257)
#define DB_ERR_OPEN_ALLOC_INDSECTIONS (-1258)
#define DB_ERR_OPEN_ALLOC_VECTOR (-1259)
#define DB_ERR_OPEN_ALLOC_STREAM (-1260)
#define DB_ERR_FLUSH_ALLOC (-1301) /* dbFlush: memory for its commit point */
#define DB_ERR_FILL_ALLOC (-2001)
#define DB_ERR_VECTOR_SLOT_TAKEN (-3001)
#define DB_ERR_VECTOR_TABLE_ALLOC (-3051)
#define DB_ERR_INDEXCTRL_TABLE_ALLOC (-3052)
#define DB_ERR_DATACTRL_ALLOC (-3151)
#define DB_ERR_SECTION_TYPE_FIRST (-3152)
#define DB_ERR_INDEX_ALLOC_GROW (-3201)
#define DB_ERR_SECTIONS_ALLOC (-3251)
#define DB_ERR_INDDATATYPES_ALLOC (-3301)
#define DB_ERR_INDSECTIONS_ALLOC (-3351)
#define DB_ERR_EXPAND_ALLOC (-3401)
#define DB_ERR_ITERATOR_AREA (-3402)
#define DB_ERR_BAD_PLACE (-3403)
#define DB_ERR_BAD_SECTION_NO (-3404)
#define DB_ERR_BAD_KEY_DEPTH (-3451)
#define DB_ERR_KEY_BEYOND_END (-5001)
#define DB_ERR_BUCKET_SECTION (-9000)
#define DB_ERR_KEY_STILL_OPEN (-9001)
#define DB_ERR_MAXCOUNT_TYPE (-9002)
#define DB_ERR_MAXCOUNT_SECTION (-9003)

/* ---------------------------------------------------------------------------
 * Library state, tunables and version.
 * ------------------------------------------------------------------------- */

/* Creates the process-wide state with nCashBuffers cache slots and nFiles file
 * slots (both at least 1). Returns 0; -90 for a bad count; -1001 when the
 * library is initialised already (the tunables are reset all the same);
 * -1002 .. -1005 when memory runs out (nothing is left half-built). */
RECBASE_API int32_t RECBASE_CALL dbInit(int32_t nCashBuffers, int32_t nFiles);
/* Closes every open file and releases all state. Returns 0, or -5 (not
 * logged) when the library is not initialised. */
RECBASE_API int32_t RECBASE_CALL dbExit(void);

/* Setters store n and return the previous value; getters return the value.
 * Without dbInit they return -4. */
RECBASE_API int32_t RECBASE_CALL dbSetMaxDataType(int32_t n);
RECBASE_API int32_t RECBASE_CALL dbSetMaxSection(int32_t n);
RECBASE_API int32_t RECBASE_CALL dbSetBucketBlock(int32_t n);
RECBASE_API int32_t RECBASE_CALL dbSetBucket(int32_t n);
RECBASE_API int32_t RECBASE_CALL dbSetBucketMsk(int32_t n);
RECBASE_API int32_t RECBASE_CALL dbGetMaxDataType(void);
RECBASE_API int32_t RECBASE_CALL dbGetMaxSection(void);
RECBASE_API int32_t RECBASE_CALL dbGetBucketBlock(void);
RECBASE_API int32_t RECBASE_CALL dbGetBucket(void);
RECBASE_API int32_t RECBASE_CALL dbGetBucketMsk(void);
/* Code of the last error or warning, and the number reported since dbInit. */
RECBASE_API int32_t RECBASE_CALL dbGetLastError(void);
RECBASE_API int32_t RECBASE_CALL dbGetErrorCount(void);
/* Constant version text; never free or change it. Valid at any time. */
RECBASE_API const char* RECBASE_CALL dbGetLibVersion(void);

/* ---------------------------------------------------------------------------
 * Error and warning log.
 * ------------------------------------------------------------------------- */

/* Counts the code, appends a three-line record to "tovek.log" and returns the
 * code; -4 (nothing counted or written) before dbInit. */
RECBASE_API int32_t RECBASE_CALL dbSetError(int32_t nCode);
/* The same for a warning ("Warnung" line; -40 means a data input was closed
 * implicitly). */
RECBASE_API int32_t RECBASE_CALL dbSetWarnung(int32_t nCode);

/* ---------------------------------------------------------------------------
 * Header and table IO. Each moves one structure of an open file between
 * memory and the file and returns the bytes moved, or -1 (no stream),
 * -6 (empty slot), -12, -13, -14, -20, -55, -1101, -1111; the writers -102
 * for a file opened without write access. Called by
 * dbCreate, dbOpen and dbClose; hosts rarely need them.
 * ------------------------------------------------------------------------- */
RECBASE_API int32_t RECBASE_CALL dbWriteFileDef(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadFileDef(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteDataCtrl(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadDataCtrl(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteIndexCtrl(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadIndexCtrl(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteDataIndex(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadDataIndex(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteSections(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadSections(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteIndDataTypes(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadIndDataTypes(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbWriteIndSections(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbReadIndSections(int32_t nFileNo);

/* ---------------------------------------------------------------------------
 * Positioned block IO, in chunks of 32767 bytes. Offsets are byte positions
 * from the start of the file; a range that would pass 2^31 - 1 is refused.
 * ------------------------------------------------------------------------- */

/* Appends zero bytes up to lLength; returns the bytes written (0 when the
 * file is long enough already), or -4, -6, -1, -12, -102 (no write access),
 * -2001, -13 (a write stopped part-way; lFileLen then covers the zeros
 * written). */
RECBASE_API int32_t RECBASE_CALL dbFillUpTo(int32_t nFileNo, int32_t lLength);
/* Writes lLen bytes at lOffset; returns the bytes the stream took (0 when
 * lLen < 1), or -4, -6, -1, -12, -90, -102 (no write access). */
RECBASE_API int32_t RECBASE_CALL dbCopyToFile(int32_t nFileNo, int32_t lOffset, const void* pBuffer,
                                              int32_t lLen);
/* Reads lLen bytes at lOffset; returns the bytes delivered, or -20 when the
 * range ends beyond the file's logical length, -4, -6, -1, -12, -90. */
RECBASE_API int32_t RECBASE_CALL dbCopyFromFile(int32_t nFileNo, int32_t lOffset, void* pBuffer,
                                                int32_t lLen);

/* ---------------------------------------------------------------------------
 * Creating, opening and closing.
 *
 * Commit points. A file opened with write access has a committed state on
 * the device: the state of its last commit point. dbClose (also through
 * dbCloseAll and dbExit) and dbFlush called by the host are the commit
 * points: the dirty blocks, the tables and the header are written and
 * synced, and the state they describe becomes the committed one. Whatever
 * happens between two commit points (a crash of the process, a power cut,
 * a full disk, a failed write), the next dbOpen of the file finds the
 * state of the last commit point, nothing of what came after it.
 * A file made by dbCreate has no committed state before its first commit
 * point (its old contents are gone at once): interrupted before it or
 * inside it, it is refused by dbOpen (-55 or -100).
 *
 * The journal. Before a byte of the committed state is overwritten for the
 * first time after a commit point, the 4096-byte page that holds it is
 * saved in the rollback journal, the file "<cName>-journal" beside the
 * database (the name with "-journal" appended), and the journal is synced.
 * Bytes behind the committed state are never saved. The journal exists
 * from the first overwrite of committed bytes after a commit point until
 * the next commit point removes it: a file that is only read never has
 * one, and a new file saves no page in it (its first commit has a journal
 * of an empty state, which empties the file should that commit not end). A
 * journal found beside a file is rolled back by dbOpen and dbCreate: its
 * pages written back, the file cut to its committed length. Do not delete
 * or move a journal; copy or move the database only while no journal lies
 * beside it.
 *
 * One writer per file. dbCreate and dbOpen with write access take the
 * writer's lock of the file, an OS byte-range lock beyond the data that
 * the process releases on dbClose or at its end. A second writer, in this
 * process or another, is refused with -18 (DB_ERR_BUSY).
 *
 * Readers. dbOpen without write access takes no writer's lock, only a
 * shared lock on the byte next to it, which keeps a dbCreate from emptying
 * the file while it is open for reading (that dbCreate is refused with
 * -18). While another writer holds the file and a journal lies beside it,
 * the open is refused
 * with -18; without a journal it opens the last committed state, but later
 * reads go to the file as it is and may see blocks that the writer wrote
 * since (there is no snapshot isolation): reopen after the writer's commit
 * point for a consistent view. A journal that a crashed writer left is
 * rolled back by a reader too, through a second handle with write access
 * to the file; without that access the open is refused with -19.
 * ------------------------------------------------------------------------- */

/* File names (cName here and in dbOpen) are paths as fopen takes them: on
 * Windows in the host's ANSI code page, elsewhere the bytes as they are;
 * relative paths start in the current directory. The journal lies beside
 * the file as cName with "-journal" appended.
 *
 * Creates (or empties) the file cName with nDesc data types described by
 * pDesc (may be null when nDesc < 1) and room for nSections sections; nFlags
 * is the mode (DB_MODE_WRITE for a file to keep). The caller becomes the
 * file's writer; a journal of the old file is rolled back before the file
 * is emptied. Returns the file number, or -5, -90 (null name, or
 * descriptions missing), -1051 (no slot), -1052 .. -1059 (memory),
 * -51/-54 (a description is invalid), -10 (file cannot be created), -18
 * (another writer holds the file, or it is open for reading), -19/-17 (the old file's journal
 * cannot be rolled back), -12/-13 (the header cannot be written). A failed create leaves its slot
 * empty. */
RECBASE_API int32_t RECBASE_CALL dbCreate(const char* cName, int32_t nDesc, const DataDesc* pDesc,
                                          int32_t nSections, int32_t nFlags);
/* Opens an existing file; nMode DB_MODE_WRITE for write access (the caller
 * becomes the file's writer). A journal beside the file is rolled back
 * first. Returns the file number, or -5, -90 (null name), -1251 (no slot),
 * -11 (cannot open), -18 (another writer holds the file; without write
 * access: holds it and a journal lies beside it), -19/-17 (a journal
 * cannot be rolled back), -101 (foreign format), -102 (write locked), -100
 * (corrupt or truncated), -55, -20, -14, -12 and -1252 .. -1260 (memory).
 * A failed open leaves its slot empty. A file that can only be opened for
 * reading is opened without write access. */
RECBASE_API int32_t RECBASE_CALL dbOpen(const char* cName, int32_t nMode);
/* Flushes, writes tables and header (write access only), closes and releases
 * the file and its writer's lock. With write access a commit point: 4096
 * means the state is committed and synced, the journal removed. Returns 0
 * for an empty slot; 4096 (header written) or 0 (no write access) on
 * success; the first failure otherwise (-1, -6, -13, -17 (sync failed),
 * -19 (journal), -100 (a state that dbOpen would refuse is not committed),
 * -12 ...; a failed write-back of the dirty blocks is never committed).
 * After a failure the next dbOpen finds the last committed state (or the
 * new one, when only the final sync of the emptied journal failed), never
 * a mix of both. The slot is empty afterwards in every case
 * but a missing stream. */
RECBASE_API int32_t RECBASE_CALL dbClose(int32_t nFileNo);
/* dbClose for every slot; returns 0, or -5 (not logged) before dbInit. */
RECBASE_API int32_t RECBASE_CALL dbCloseAll(void);
/* Writes the file's dirty cache blocks and, with write access, makes a
 * commit point (see above): tables and header are written behind the data
 * and synced, the journal removed. The file stays open and memory keeps
 * every count, offset and place as before. Returns 0, or -1, -6, -13, -17
 * (sync failed), -19 (journal), -100 (a state that dbOpen would refuse is
 * not committed), -12, -1301 (memory). After a failure the device holds
 * the last committed state (or the new one, when only the final sync of
 * the emptied journal failed); the host may call dbFlush again or close
 * the file. A growth whose move failed part-way leaves memory and file
 * apart: every later record, key and table operation of that session
 * answers the move's failure, no later commit succeeds, and the next
 * dbOpen finds the last committed state. */
RECBASE_API int32_t RECBASE_CALL dbFlush(int32_t nFileNo);
/* Drops the file's cache blocks without writing them (-1: every file);
 * returns the number of blocks dropped, or -5 (not logged) before dbInit. */
RECBASE_API int32_t RECBASE_CALL dbReset(int32_t nFileNo);

/* ---------------------------------------------------------------------------
 * File growth: opens lLen bytes at lOffset, moving the rest of the file up
 * and shifting every stored offset at or behind lOffset.
 * dbExpandFile flushes the file first and clears the opened room to zero
 * bytes; returns 1 when bytes were moved, 0 when lOffset lay at or beyond
 * the end (only the offsets are shifted), or -6, -1, -90 (lOffset < 0 or
 * lLen < 1), -102 (no write access), -12 (an offset of the file, its data
 * areas included, would pass 2^31 - 1),
 * -13, -3401 (memory) or a flush failure.
 * dbShiftOffsets only shifts the offsets held in memory (areas, tables,
 * vectors, places of placed records); returns 0, or -6, -90 (lOffset < 0 or
 * lLen < 0), -12 (an offset would pass 2^31 - 1; nothing is shifted).
 * ------------------------------------------------------------------------- */
RECBASE_API int32_t RECBASE_CALL dbExpandFile(int32_t nFileNo, int32_t lOffset, int32_t lLen);
RECBASE_API int32_t RECBASE_CALL dbShiftOffsets(int32_t nFileNo, int32_t lOffset, int32_t lLen);

/* ---------------------------------------------------------------------------
 * Index vectors.
 * ------------------------------------------------------------------------- */

/* Makes a vector of lLen entries (all -1) of kind nIndexType (1 index,
 * 2 section, 3 iterator) for owner nOwnerNo; returns its number or -6, -2,
 * -90, -3001, -3051, -3052. */
RECBASE_API int32_t RECBASE_CALL dbAddIndexVector(int32_t nFileNo, int32_t lLen, int32_t nIndexType,
                                                  int32_t nOwnerNo);
/* Grows the vector tables; returns the new capacity or -6, -3051, -3052. */
RECBASE_API int32_t RECBASE_CALL dbExpandIndexVectors(int32_t nFileNo);
/* Grows vector nVector so that entry lRecNo exists; returns nVector or -6,
 * -90, -3201. */
RECBASE_API int32_t RECBASE_CALL dbExpandIndex(int32_t nFileNo, int32_t nVector, int32_t lRecNo);

/* ---------------------------------------------------------------------------
 * Data type catalogue.
 * ------------------------------------------------------------------------- */

/* Fills the catalogue of a file that has no data types yet from nDesc
 * descriptions; returns 0 or -6, -51, -54, -90, -3301. */
RECBASE_API int32_t RECBASE_CALL dbSetDataCtrl(int32_t nFileNo, int32_t nDesc,
                                               const DataDesc* pDesc);
/* Appends a numbered data type with an empty area; returns its DataCtrl
 * index, or -6, -90 (null description), -51 (negative number, size below
 * 1, block smaller than a record), -54 (DTF_PLACED or DTF_ITERATOR without
 * DTF_INDEX, both together, DTF_BUCKET), -3151, -3301. A refused
 * description adds nothing. A number declared before now names the new
 * type; the old one stays in the catalogue without a number. */
RECBASE_API int32_t RECBASE_CALL dbAddDataCtrl(int32_t nFileNo, const DataDesc* pDesc);
/* Grows the DataCtrl table by nDataCtrlExpand; returns the new capacity,
 * or -6, -3151. */
RECBASE_API int32_t RECBASE_CALL dbExpandDataCtrl(int32_t nFileNo);
/* Grows the IndDataTypes vector so that number nType fits (new entries -1);
 * returns the new length, or -6, -90 (nType < 0), -3301. */
RECBASE_API int32_t RECBASE_CALL dbExpandIndDataTypes(int32_t nFileNo, int32_t nType);
/* Opens a data input on a new data type (an open one is closed first, with
 * warning -40). While a section is open (dbBeginSections), the new type is a
 * data type of the current key of that open section itself, found by its
 * section index (as dbAddDataCtrlS; -112 if the open section is gone, -111
 * when it has no key yet). Returns the DataCtrl index. */
RECBASE_API int32_t RECBASE_CALL dbBeginData(int32_t nFileNo, const DataDesc* pDesc);
/* Closes the data input and sizes the type's area to the records written;
 * returns the DataCtrl index or -6, -41. */
RECBASE_API int32_t RECBASE_CALL dbEndData(int32_t nFileNo);

/* ---------------------------------------------------------------------------
 * Data type queries. Read only; the enumeration moves the file's cursor.
 * Each answers -6 for a file number naming no open file (-5, or -4 before
 * dbInit). Numbers are data type numbers, -1 in nSectionNo means none.
 * ------------------------------------------------------------------------- */

/* Lowest declared data type number, made the cursor; -1 when none (the
 * cursor stays). */
RECBASE_API int32_t RECBASE_CALL dbGetFirstDataType(int32_t nFileNo);
/* Next declared number above the cursor, made the cursor; -1 when none (the
 * cursor has moved one on all the same). Starts at 0 on a fresh file. */
RECBASE_API int32_t RECBASE_CALL dbGetNextDataType(int32_t nFileNo);
/* DataCtrl index of a declared number; -1 (not logged) for a number that is
 * not declared or lies outside 0 .. nIndDataTypes - 1. */
RECBASE_API int32_t RECBASE_CALL dbExistDataType(int32_t nFileNo, int32_t nDataType);
/* Record length of the type; -90 for a number outside 0 .. nIndDataTypes - 1,
 * -50 for one not declared. */
RECBASE_API int32_t RECBASE_CALL dbGetDataTypeSize(int32_t nFileNo, int32_t nDataType);
/* Highest record number written + 1; -9002 when not declared, -90 for a
 * number outside 0 .. nIndDataTypes - 1. */
RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCount(int32_t nFileNo, int32_t nDataType);
/* The same for the type at place nDataType (0..9) of section nSectionNo
 * (-1 for a section type without records); -9003 for a section number
 * outside 0 .. nSections - 1, -90 for a place outside 0..9 or a number that
 * names no section, -50 when the place holds no data type. */
RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCountS(int32_t nFileNo, int32_t nSectionNo,
                                                        int32_t nDataType);
/* Records stored under lRecNo: the run length of an iterator type, else 1 or
 * 0. 0 (not logged) for an undeclared type or a record number outside the
 * type; -51 when the type lacks the vector its flags call for. */
RECBASE_API int32_t RECBASE_CALL dbGetDataTypeRecs(int32_t nFileNo, int32_t nDataType,
                                                   int32_t lRecNo);
/* Slot of record lRecNo of a data type (nSectionNo -1) or of the type at
 * place nDataType of section nSectionNo; -1 when it maps to none (not logged:
 * undeclared type, empty place, record beyond the type). Logged: -1 for a
 * file number naming no open file, -9003 and -90 as for
 * dbGetDataTypeMaxCountS, -90 for a negative lRecNo, -51 for an indexed type
 * without index vector. */
RECBASE_API int32_t RECBASE_CALL dbGetIndex(int32_t nFileNo, int32_t nSectionNo, int32_t nDataType,
                                            int32_t lRecNo);

/* ---------------------------------------------------------------------------
 * Block cache. Returns the buffer holding lLen bytes of the file at lOffset,
 * valid until the next library call, or null. *pFlags: CASH_WRITE in,
 * CASH_* result bits out (pFlags may be null: a read). A block at or beyond
 * the file's logical length is handed out zero-filled, not read. Null after
 * a logged failure: -6, -1, -90 (lLen < 1, or a range past 2^31 - 1), -102
 * (CASH_WRITE on a file without write access), -14 (the block cannot be
 * read), -13 (no slot's block can be written back: a dirty block that
 * cannot be written keeps its slot and the next slot in turn is taken);
 * also null, unlogged, when no memory is left for the block.
 * ------------------------------------------------------------------------- */
RECBASE_API void* RECBASE_CALL dbGetCashPtr(int32_t nFileNo, int32_t lOffset, int32_t lLen,
                                            int32_t* pFlags);

/* ---------------------------------------------------------------------------
 * Record read and write. nDataType >= 0 is a data type number; a negative
 * value v names DataCtrl index -1 - v. lSubNo is the position in the run of
 * an iterator type (0 otherwise). nLen is not used: the type's record size
 * is copied, so pData must hold nDataSize bytes.
 *
 * dbRead, dbWrite: 0, or -6, -1 (no stream), -90 (negative record, null
 * buffer, a number outside the IndDataTypes vector, a DataCtrl index that
 * names nothing, a negative sub-index of an indexed type, a sub-index > 0
 * of a run never started), -50 (number not declared), -51 (the type lacks
 * the vector its flags call for, or no record fits a block), -70 (no cache
 * block). dbRead also: -53 (record number never written), -52 (the slot
 * lies beyond the type's area). dbWrite also: -102 (no write access), -60
 * (the index vector cannot grow), -3402 (the area of an iterator type would
 * have to grow), -12 (the file would pass 2^31 - 1) and the failures of the
 * area's growth; a failed write hands out no slot or place. A write beyond
 * the area of any other type grows the area by whole blocks.
 *
 * dbReadKey, dbWriteKey: the record lRecNo of the DataCtrl nDataCtrlNo (a
 * hash bucket), without index; 0, or -6, -1, -90 (negative record, null
 * buffer, no such DataCtrl), -52 (beyond the area), -70. dbWriteKey only
 * overwrites an existing record: -5001 for lRecNo >= lFileRecs, -102
 * without write access.
 * ------------------------------------------------------------------------- */
RECBASE_API int32_t RECBASE_CALL dbRead(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                        int32_t lSubNo, void* pData, int32_t nLen);
RECBASE_API int32_t RECBASE_CALL dbWrite(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, const void* pData);
RECBASE_API int32_t RECBASE_CALL dbReadKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                           void* pData, int32_t nLen);
RECBASE_API int32_t RECBASE_CALL dbWriteKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                            const void* pData, int32_t nLen);

/* ---------------------------------------------------------------------------
 * Sections, hash buckets and keys. pKeys points to four int32 values.
 *
 * A section is named by the caller's section number (an entry of the
 * IndSections vector) or by its section index (its position in the Section
 * table). Everywhere a section number is taken, a number that is negative,
 * lies outside the vector or names no section is refused with -3404
 * (dbGetKey answers 0); a section index outside 0 .. nSections - 1 is
 * refused with -112. Null pointers are refused with -90. A section added by
 * dbAddSection alone has no buckets: key operations refuse it with -111.
 * ------------------------------------------------------------------------- */
/* Adds a section under nSectionNo (an existing number is taken over; numbers
 * of nIndSections or more are accepted but admit no data types or records).
 * Returns the section index; -6, -3404 (negative number), -111 (the bucket
 * tunables would let a key select a bucket that does not exist, or a bucket
 * block holds no 60-byte key record), -3251, -3351 or an index vector
 * failure, in which cases no section is added. */
RECBASE_API int32_t RECBASE_CALL dbAddSection(int32_t nFileNo, int32_t nSectionNo, int32_t nFlags);
/* Grows the Section table by nSectionExpand; returns the capacity, -6, -3251. */
RECBASE_API int32_t RECBASE_CALL dbExpandSections(int32_t nFileNo);
/* Grows the IndSections vector so that nSectionNo fits, never below
 * nIndSections entries; returns its new length, -6, -3351. */
RECBASE_API int32_t RECBASE_CALL dbExpandIndSections(int32_t nFileNo, int32_t nSectionNo);
/* Appends one hash bucket (a DTF_BUCKET DataCtrl with its first block) for
 * section index nSectionIndex; returns its DataCtrl index, -6, -9000
 * (negative index), -112, -111 (nBucketBlock below 60), -3151 or a write
 * failure (the bucket then stays in the catalogue, unused). */
RECBASE_API int32_t RECBASE_CALL dbAddHashBucket(int32_t nFileNo, int32_t nSectionIndex);
/* Appends a key record (no test for an equal key) to the bucket that the
 * wrap-around sum of the first nKeys values, masked, selects; the key
 * becomes the current and the open key. Returns its record number in the
 * bucket; -6, -90, -112, -111 or the write failure (nothing changes). */
RECBASE_API int32_t RECBASE_CALL dbAddKey(int32_t nFileNo, int32_t nSectionIndex,
                                          const int32_t* pKeys);
/* Makes the key current: 1 when it exists (the first equal key record in
 * the bucket wins; the current key is answered without reading), 0 when not
 * (nothing changes); -6, -90, -3404, -111, or the failure of a key record
 * that cannot be read (never taken as equal). dbSetSection is the same. */
RECBASE_API int32_t RECBASE_CALL dbExistKey(int32_t nFileNo, int32_t nSectionNo,
                                            const int32_t* pKeys);
RECBASE_API int32_t RECBASE_CALL dbSetSection(int32_t nFileNo, int32_t nSectionNo,
                                              const int32_t* pKeys);
/* Copies the largest value added per key level (-1 for none) into pKeys;
 * returns nKeys, or -6, -90, -3404, -111. */
RECBASE_API int32_t RECBASE_CALL dbGetMaxKey(int32_t nFileNo, int32_t nSectionNo, int32_t* pKeys);
/* Enumerates keys in odometer order (level 0 fastest, each level from 0 to
 * its largest value): nMode 0 starts at (0, ..., 0), any other mode goes on
 * after the key in pKeys (values below 0 lie before 0). Returns 1 with the
 * found key current and in pKeys, 0 when there is none or on any failure;
 * records and logs nothing of its own. */
RECBASE_API int32_t RECBASE_CALL dbGetKey(int32_t nFileNo, int32_t nSectionNo, int32_t nMode,
                                          int32_t* pKeys);
/* The section number and key of the last lookup that found a key by
 * reading a bucket; returns 0, -6, -90, -200 (none yet). */
RECBASE_API int32_t RECBASE_CALL dbGetSection(int32_t nFileNo, int32_t* pSectionNo, int32_t* pKeys);

/* Section data types and records; nDataType is the place 0..9, and the
 * section's current key decides which data type the place means.
 *
 * dbReadS, dbWriteS: 0, or -1 (no open file), -90 (negative record, place
 * outside 0..9, null buffer), -3404 (number outside 0 .. nIndSections - 1 or
 * naming no section), -50 (no current key, or none of its types at that
 * place), and the codes of dbRead/dbWrite. While a data input is open a
 * record beyond another type's area grows that area (an iterator type is
 * refused with -3402); it never lands in the area of another type.
 * dbAddDataCtrlS: appends a type for the current key at place nType and
 * writes the key record back; returns its DataCtrl index, or -6, -90, -3404,
 * -111 (the section has no current key), -51 (sizes), -3403 (place), -54
 * (flags), -3151, an index vector failure or the key write's failure.
 * Refused descriptions create nothing.
 * dbBeginDataS: as dbAddDataCtrlS, then opens the data input on the type;
 * -40 while an input is open (it stays open); refusals are logged twice.
 * dbEndDataS: closes the input and sizes the area to whole blocks, the end
 * of the area covered by lFileLen and lOffsetVectors; returns the DataCtrl
 * index, or -6, -41. */
RECBASE_API int32_t RECBASE_CALL dbReadS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, void* pData, int32_t nLen,
                                         int32_t nSectionNo);
RECBASE_API int32_t RECBASE_CALL dbWriteS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                          int32_t lSubNo, const void* pData, int32_t nLen,
                                          int32_t nSectionNo);
RECBASE_API int32_t RECBASE_CALL dbAddDataCtrlS(int32_t nFileNo, const DataDesc* pDesc,
                                                int32_t nSectionNo);
RECBASE_API int32_t RECBASE_CALL dbBeginDataS(int32_t nFileNo, const DataDesc* pDesc,
                                              int32_t nSectionNo);
RECBASE_API int32_t RECBASE_CALL dbEndDataS(int32_t nFileNo);

/* Section brackets. dbBeginSections (nKeys 1..4, else -3451) adds the
 * section and its buckets and opens it; returns the section index, or the
 * failure of dbAddSection (logged twice) or of a bucket (the section is then
 * left without buckets and not opened). dbEndSections: the index, -6, -112,
 * -9001 (a key is still open). dbBeginSection writes -1 into the caller's
 * key values from position nKeys on and adds the key; returns the section
 * index, -6, -90, -3404, -111, or -1 when dbAddKey failed. dbEndSection:
 * the index, -6, -112. */
RECBASE_API int32_t RECBASE_CALL dbBeginSections(int32_t nFileNo, int32_t nSectionNo, int32_t nKeys,
                                                 int32_t nFlags);
RECBASE_API int32_t RECBASE_CALL dbEndSections(int32_t nFileNo, int32_t nSectionIndex);
RECBASE_API int32_t RECBASE_CALL dbBeginSection(int32_t nFileNo, int32_t nSectionNo,
                                                int32_t* pKeys);
RECBASE_API int32_t RECBASE_CALL dbEndSection(int32_t nFileNo, int32_t nSectionIndex);

/* ---------------------------------------------------------------------------
 * Diagnostic dumps, appended to "tovek.tst" in the current directory (opened
 * in text mode "a" and closed again by every call; never truncated). The
 * dumps change nothing and do not record themselves for the log. Common
 * results: 0 on success; -6 for a file number naming no open file (-5, or
 * -4 before dbInit); -90 for a number that names nothing; -13 when the dump
 * file cannot be opened. Every negative result but -5 is logged, and
 * nothing is written then.
 * ------------------------------------------------------------------------- */

/* The SysData tunables and error counters; -4 before dbInit. */
RECBASE_API int32_t RECBASE_CALL dbDumpSysData(void);
/* The header of an open file. */
RECBASE_API int32_t RECBASE_CALL dbDumpFileDef(int32_t nFileNo);
/* One DataCtrl: nNumber is a DataCtrl index, or a data type number when
 * nIndirect is non-zero; -90 when it names no DataCtrl. */
RECBASE_API int32_t RECBASE_CALL dbDumpDataCtrl(int32_t nFileNo, int32_t nNumber,
                                                int32_t nIndirect);
/* Every DataCtrl in catalogue order; a file without data types leaves the
 * dump file untouched. */
RECBASE_API int32_t RECBASE_CALL dbDumpAllDataCtrl(int32_t nFileNo);
/* The index vector (nSelect bit 0x01) and the iterator vector (0x02) of a
 * data type, ten entries to a row. 0 with nothing written for an undeclared
 * number or a missing vector; -90 for a number outside the IndDataTypes
 * vector. */
RECBASE_API int32_t RECBASE_CALL dbDumpDataIndex(int32_t nFileNo, int32_t nDataType,
                                                 int32_t nSelect);
/* The IndDataTypes / IndSections vector; -30 / -31 when it is missing. */
RECBASE_API int32_t RECBASE_CALL dbDumpIndDataTypes(int32_t nFileNo);
RECBASE_API int32_t RECBASE_CALL dbDumpIndSections(int32_t nFileNo);
/* One Section: nNumber is a section index, or a section number when
 * nIndirect is non-zero; -90 when it names no section. */
RECBASE_API int32_t RECBASE_CALL dbDumpSection(int32_t nFileNo, int32_t nNumber, int32_t nIndirect);
/* The keys of a section bucket by bucket (numbers as for dbDumpSection);
 * 1 after the listing. A number whose section is -1 gets a one-line message
 * and 0; -90 for other numbers that name no section and for a section whose
 * buckets are not 60-byte DataCtrls of the catalogue. Keys are read through
 * dbReadKey (which then stands in the log as the last function); a key that
 * cannot be read is listed with all its values 0. */
RECBASE_API int32_t RECBASE_CALL dbDumpSectionKeys(int32_t nFileNo, int32_t nNumber,
                                                   int32_t nIndirect);
/* Every cache slot in use, numbered from 1, with its buffer address in
 * lower-case hexadecimal (at least nine columns); -5 (not logged) before
 * dbInit. With no slot in use the dump file is only created. */
RECBASE_API int32_t RECBASE_CALL dbDumpCashCtrl(void);
/* A positioned transfer: the text (null is shown empty), offset and length,
 * and lFileLen and lOffsetVectors of the file the log names as current;
 * -6 when that file is not open, -5 (not logged) before dbInit. */
RECBASE_API int32_t RECBASE_CALL dumpIOCtrl(int32_t lOffset, int32_t lLen, const char* cText);

#ifdef __cplusplus
}
#endif

#endif /* RECBASE_H */
