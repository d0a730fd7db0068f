// Text dumps of the control structures: SysData, the FileDef of an open
// file, DataCtrl records, index and iterator vectors and the two
// indirection vectors. Each dump appends to "tovek.tst" and changes nothing
// else; none records itself as the current function of the log.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "dump/dump_file.h"
#include "dump/dumps.h"
#include "file/lookup.h"
#include "recbase.h"

namespace rb {
namespace {

// The local-time text of a stored time stamp, with its line break.
const char* time_text(std::int32_t stamp) {
  const std::time_t t = stamp;
  const char* text = std::ctime(&t);
  return text != nullptr ? text : "\n";
}

}  // namespace

std::int32_t dump_sys_data() {
  const SysData* s = g_lib.sys;
  if (s == nullptr) return report(DB_ERR_NO_SYSDATA);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::FILE* out = dump.get();
  std::fprintf(out, "     SysData:\n");
  std::fprintf(out, "       Blocklaenge.............lBufferLen.: %8ld Bytes\n",
               as_long(s->lBufferLen));
  std::fprintf(out, "       Erweiterung........nDataCtrlExpand.: %8d\n",
               as_int(s->nDataCtrlExpand));
  std::fprintf(out, "       Erweiterung.........nSectionExpand.: %8d\n", as_int(s->nSectionExpand));
  std::fprintf(out, "       Erweiterung......nIndexCountExpand.: %8d\n",
               as_int(s->nIndexCountExpand));
  std::fprintf(out, "       Erweiterung........lIndexLenExpand.: %8ld\n",
               as_long(s->lIndexLenExpand));
  std::fprintf(out, "       Anzahl Fehler..........nErrorCount.: %8d\n", as_int(s->nErrorCount));
  std::fprintf(out, "       Letzter Fehler..........nLastError.: %8d\n", as_int(s->nLastError));
  return 0;
}

namespace {

void file_def_head(std::FILE* out, std::int32_t file_no, const FileDef& f) {
  char format[sizeof f.cFormat + 1] = {};
  std::memcpy(format, f.cFormat, sizeof f.cFormat);
  std::fprintf(out, "     FileDef: Dateinummer...............(nFileNo).: %d\n", as_int(file_no));
  std::fprintf(out, "       Formatkenner.....................(cFormat).: %s\n", format);
  std::fprintf(out, "       Zeit der Dateierstellung.........(tCreate).: %s", time_text(f.tCreate));
  std::fprintf(out, "       Zeit letzter ueberarbeitung......(tUpdate).: %s", time_text(f.tUpdate));
  std::fprintf(out, "       Dateneingabe eroeffnet.....(nDataCtrlOpen).: %s\n",
               f.nDataCtrlOpen != -1 ? "ja" : "nein");
  std::fprintf(out, "       Dateistatus.......................(nFlags).: %8X\n", as_hex(f.nFlags));
  std::fprintf(out, "       Dateilaenge.....................(lFileLen).: %8ld Bytes\n",
               as_long(f.lFileLen));
}

void file_def_tables(std::FILE* out, const FileDef& f) {
  std::fprintf(out, "       Anzahl.DataCtrls..............(nDataTypes).: %8d Bytes\n",
               as_int(f.nDataTypes));
  std::fprintf(out, "       Maximale Anzahl.DataCtrls....(nDataTypesX).: %8d Bytes\n",
               as_int(f.nDataTypesX));
  std::fprintf(out, "       Strukturlaenge.............(nDataCtrlSize).: %8d Bytes\n",
               as_int(f.nDataCtrlSize));
  std::fprintf(out, "       Gesamtlaenge................(nLenDataCtrl).: %8d Bytes\n",
               as_int(f.nLenDataCtrl));
  std::fprintf(out, "       Offset...................(lOffsetDataCtrl).: %8ld (%X) Bytes\n",
               as_long(f.lOffsetDataCtrl), as_hex(f.lOffsetDataCtrl));
  std::fprintf(out, "       Anzahl.IndexCtrls............(nIndexCtrls).: %8d Bytes\n",
               as_int(f.nIndexCtrls));
  std::fprintf(out, "       Maximale Anzahl.IndexCtrls..(nIndexCtrlsX).: %8d Bytes\n",
               as_int(f.nIndexCtrlsX));
  std::fprintf(out, "       Strukturlaenge............(nIndexCtrlSize).: %8d Bytes\n",
               as_int(f.nIndexCtrlSize));
  std::fprintf(out, "       Gesamtlaenge...............(nLenIndexCtrl).: %8d Bytes\n",
               as_int(f.nLenIndexCtrl));
  std::fprintf(out, "       Offset..................(lOffsetIndexCtrl).: %8ld (%X) Bytes\n",
               as_long(f.lOffsetIndexCtrl), as_hex(f.lOffsetIndexCtrl));
}

void file_def_vectors(std::FILE* out, const FileDef& f) {
  std::fprintf(out, "       Laenge ind. Datentypvektor.(nIndDataTypes).: %8d\n",
               as_int(f.nIndDataTypes));
  std::fprintf(out, "       Laenge ind. Datentypvektor(nIndDataTypesX).: %8d\n",
               as_int(f.nIndDataTypesX));
  std::fprintf(out, "       Offset...............(lOffsetIndDataTypes).: %8ld Bytes\n",
               as_long(f.lOffsetIndDataTypes));
  std::fprintf(out, "       Laenge ind. Sectionvektor...(nIndSections).: %8d\n",
               as_int(f.nIndSections));
  std::fprintf(out, "       Laenge ind. Sectionvektor..(nIndSectionsX).: %8d\n",
               as_int(f.nIndSectionsX));
  std::fprintf(out, "       Offset................(lOffsetIndSections).: %8ld Bytes\n",
               as_long(f.lOffsetIndSections));
  std::fprintf(out, "       Anzahl ind. Zugriffsvekt...(nIndexVectors).: %8d\n",
               as_int(f.nIndexVectors));
  std::fprintf(out, "       Max. Anzahl...............(nIndexVectorsX).: %8d\n",
               as_int(f.nIndexVectorsX));
  std::fprintf(out, "       Globaler Zeiger-Offset....(lOffsetVectors).: %8ld (%X) Bytes\n",
               as_long(f.lOffsetVectors), as_hex(f.lOffsetVectors));
}

void file_def_sections(std::FILE* out, const FileDef& f) {
  std::fprintf(out, "       Geoeffnete Sections ..(nOpenSectionHandle).: %8d\n",
               as_int(f.nOpenSectionHandle));
  std::fprintf(out, "       Aktive Sections ....(nActiveSectionHandle).: %8d\n",
               as_int(f.nActiveSectionHandle));
  std::fprintf(out, "       Anzahl Sections.... ...........(nSections).: %8d\n",
               as_int(f.nSections));
  std::fprintf(out, "       Maximale Anzahl Sections......(nSectionsX).: %8d\n",
               as_int(f.nSectionsX));
  std::fprintf(out, "       Groesse der Section.........(nSectionSize).: %8d Bytes\n",
               as_int(f.nSectionSize));
  std::fprintf(out, "       Gesamtlaenge der Section.....(nLenSection).: %8d Bytes\n",
               as_int(f.nLenSection));
  std::fprintf(out, "       Offset....................(lOffsetSection).: %8ld (%X) Bytes\n",
               as_long(f.lOffsetSection), as_hex(f.lOffsetSection));
}

}  // namespace

std::int32_t dump_file_def(std::int32_t file_no, FileCtrl& file) {
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  const FileDef& f = file.def;
  file_def_head(dump.get(), file_no, f);
  file_def_tables(dump.get(), f);
  file_def_vectors(dump.get(), f);
  file_def_sections(dump.get(), f);
  return 0;
}

namespace {

void data_ctrl_lines(std::FILE* out, std::int32_t file_no, std::int32_t k, const DataCtrl& c) {
  std::fprintf(out, "\n     Datei %d, Datenbestand %d, Typ: %d\n", as_int(file_no), as_int(k),
               as_int(c.nType));
  std::fprintf(out, "       Kennungen...........................(nFlags).: %x\n", as_hex(c.nFlags));
  std::fprintf(out, "       Offset.........................(lOffsetData).: %9ld (%X) Bytes\n",
               as_long(c.lOffsetData), as_hex(c.lOffsetData));
  std::fprintf(out, "       Strukturlaenge...................(nDataSize).: %9d Bytes\n",
               as_int(c.nDataSize));
  std::fprintf(out, "       Gesamtlaenge......................(lLenData).: %9ld Bytes\n",
               as_long(c.lLenData));
  std::fprintf(out, "       Blocklaenge.....................(nBlockSize).: %9d Bytes\n",
               as_int(c.nBlockSize));
  std::fprintf(out, "       Max. Datensatzanzahl in Datei (lMaxFileRecs).: %5ld\n",
               as_long(c.lMaxFileRecs));
  std::fprintf(out, "       Anzahl Datensaetze in Datei......(lFileRecs).: %5ld\n",
               as_long(c.lFileRecs));
  std::fprintf(out, "       Anzahl Datensaetze in Block.....(lBlockRecs).: %5ld\n",
               as_long(c.lBlockRecs));
  std::fprintf(out, "       Anzahl Bloeck in Datei.......(lMaxBlockRecs).: %5ld\n",
               as_long(c.lMaxBlockRecs));
  std::fprintf(out, "       Maximaler Indexwert..............(lMaxIndex).: %5ld\n",
               as_long(c.lMaxIndex));
  std::fprintf(out, "       Indexnummer.......................(nIndexNo).: %5d\n",
               as_int(c.nIndexNo));
  std::fprintf(out, "       Iteratorindexnummer............(nIteratorNo).: %5d\n",
               as_int(c.nIteratorNo));
  std::fprintf(out, "       Sectionindexnummer.........(nSectionIndexNo).: %5d\n",
               as_int(c.nSectionIndexNo));
}

}  // namespace

std::int32_t dump_data_ctrl(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                            std::int32_t indirect) {
  const std::int32_t k = indirect != 0 ? type_to_ctrl(f, number) : number;
  const DataCtrl* c = data_ctrl(f, k);
  if (c == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  data_ctrl_lines(dump.get(), file_no, k, *c);
  return 0;
}

std::int32_t dump_all_data_ctrl(std::int32_t file_no, FileCtrl& f) {
  const std::int32_t n = f.def.nDataTypes;
  for (std::int32_t k = 0; k < n; ++k) {
    // As dbDumpDataCtrl dumps entry k; dumps record nothing for the log.
    const std::int32_t r = dump_data_ctrl(file_no, f, k, 0);
    if (r < 0) return r;
  }
  return 0;
}

namespace {

// Entries of vector v that exist both by the length asked for and in memory.
std::int32_t listed_length(FileCtrl& f, std::int32_t v, std::int32_t length) {
  const IndexVector* vec = index_vector(f, v);
  return vec == nullptr ? 0 : std::clamp(length, 0, vec->capacity);
}

enum class VectorKind { index, iterator };

// One block of dbDumpDataIndex: heading and listing of vector v, in a dump
// file opened for it alone.
std::int32_t dump_vector(FileCtrl& f, std::int32_t file_no, std::int32_t type, VectorKind kind,
                         std::int32_t v, std::int32_t length) {
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::FILE* out = dump.get();
  if (kind == VectorKind::index) {
    std::fprintf(out, "\n     Datei %d, Datentype %d, Indexvektor %d\n", as_int(file_no),
                 as_int(type), as_int(v));
  } else {
    std::fprintf(out, "\n     Datei %d, Datentype %d, Iterator %d\n", as_int(file_no), as_int(type),
                 as_int(v));
  }
  list_vector(out, index_vector(f, v)->entries, listed_length(f, v, length), Listing::index_vector);
  return 0;
}

}  // namespace

std::int32_t dump_data_index(std::int32_t file_no, FileCtrl& f, std::int32_t type,
                             std::int32_t select) {
  if (type < 0 || type >= std::min(f.def.nIndDataTypesX, f.nIndDataTypesCap))
    return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t k = type_to_ctrl(f, type);
  if (k == -1) return 0;
  const DataCtrl* c = data_ctrl(f, k);
  if (c == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const IndexCtrl* index = index_ctrl(f, c->nIndexNo);
  if (index == nullptr || index_vector(f, c->nIndexNo) == nullptr) return 0;
  // Both vectors are listed over the index vector's length.
  const std::int32_t length = index->lIndexLen;
  if ((select & 0x01) != 0) {
    const std::int32_t r = dump_vector(f, file_no, type, VectorKind::index, c->nIndexNo, length);
    if (r < 0) return r;
  }
  if ((select & 0x02) != 0 && index_vector(f, c->nIteratorNo) != nullptr) {
    return dump_vector(f, file_no, type, VectorKind::iterator, c->nIteratorNo, length);
  }
  return 0;
}

namespace {

enum class Indirection { data_types, sections };

// The heading and listing of an indirection vector of count entries, of
// which in_memory exist.
std::int32_t dump_indirection(std::int32_t file_no, Indirection which, const std::int32_t* vec,
                              std::int32_t count, std::int32_t in_memory) {
  const bool types = which == Indirection::data_types;
  if (vec == nullptr) return report(types ? DB_ERR_NO_INDDATATYPES : DB_ERR_NO_INDSECTIONS);
  DumpFile dump;
  if (!dump) return report(kDumpOpenFailed);
  std::FILE* out = dump.get();
  if (types) {
    std::fprintf(out, "\n     Datei %d, Vektor indirekter Datentypen (%d)\n", as_int(file_no),
                 as_int(count));
  } else {
    std::fprintf(out, "\n     Datei %d, Vektor indirekter Sections (%d)\n", as_int(file_no),
                 as_int(count));
  }
  list_vector(out, vec, std::clamp(count, 0, in_memory), Listing::indirection);
  return 0;
}

}  // namespace

std::int32_t dump_ind_data_types(std::int32_t file_no, FileCtrl& f) {
  return dump_indirection(file_no, Indirection::data_types, f.pIndDataTypes, f.def.nIndDataTypes,
                          f.nIndDataTypesCap);
}

std::int32_t dump_ind_sections(std::int32_t file_no, FileCtrl& f) {
  return dump_indirection(file_no, Indirection::sections, f.pIndSections, f.def.nIndSections,
                          ind_sections_len(f));
}

}  // namespace rb
