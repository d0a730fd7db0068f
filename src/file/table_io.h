// The header block and the tables of the table area, between memory and
// the file: the bodies of dbWriteFileDef .. dbReadIndSections.
//
// Each takes the file number and the open file the caller has found: the
// writers with write access (find_writable), the readers with a stream
// (find_stream). Failures are reported under the name recorded last, which
// the caller records first (the exported name of the reader or writer).
// The vector readers and writers move their bytes as dbCopyToFile /
// dbCopyFromFile did when they called them, and record that name for the
// log at that point. Each returns the number of bytes moved (0 for an
// empty table) or a negative code, reported by the step that met it.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// The header block: written from f.def (-1101 no buffer, -13), read into
// f.def (-1111, -100 too short to hold a header).
std::int32_t write_file_def(std::int32_t file_no, FileCtrl& f);
std::int32_t read_file_def(std::int32_t file_no, FileCtrl& f);

// The DataCtrl, IndexCtrl and Section tables: written at lFileLen, read
// from their stored offsets into the tables already allocated (-100 when
// the count or length does not fit them, -12, -13, -14).
std::int32_t write_data_ctrl(std::int32_t file_no, FileCtrl& f);
std::int32_t read_data_ctrl(std::int32_t file_no, FileCtrl& f);
std::int32_t write_index_ctrl(std::int32_t file_no, FileCtrl& f);
std::int32_t read_index_ctrl(std::int32_t file_no, FileCtrl& f);
std::int32_t write_sections(std::int32_t file_no, FileCtrl& f);
std::int32_t read_sections(std::int32_t file_no, FileCtrl& f);

// Every index vector, at its stored place (a new one at lFileLen).
std::int32_t write_data_index(std::int32_t file_no, FileCtrl& f);
std::int32_t read_data_index(std::int32_t file_no, FileCtrl& f);

// The IndDataTypes and IndSections vectors (read_ind_data_types: -55
// when the vector has no place in the file).
std::int32_t write_ind_data_types(std::int32_t file_no, FileCtrl& f);
std::int32_t read_ind_data_types(std::int32_t file_no, FileCtrl& f);
std::int32_t write_ind_sections(std::int32_t file_no, FileCtrl& f);
std::int32_t read_ind_sections(std::int32_t file_no, FileCtrl& f);

}  // namespace rb
