// Index vectors: the bodies of dbAddIndexVector,
// dbExpandIndexVectors and dbExpandIndex, on the open file the caller has
// found (find_file). Failures are reported under the name recorded last:
// the API layer records the exported name ("dbAddIndex" for
// dbAddIndexVector), and internal callers record it where they used to
// call the exported function.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// Appends an index vector of length entries (all -1) of the given kind
// (kVectorIndex, kVectorSection, kVectorIterator) for owner; the tables of
// vectors grow first when full (recorded as dbExpandIndexVectors). Returns
// the vector number or a reported code (-90, -3001, -2, -3051, -3052).
std::int32_t add_index_vector(std::int32_t file_no, FileCtrl& f, std::int32_t length,
                              std::int32_t kind, std::int32_t owner);

// Grows the IndexCtrl table and the table of vectors together by
// nIndexCountExpand. Returns the new capacity or a reported code (-3051,
// -3052).
std::int32_t expand_index_vectors(FileCtrl& f);

// Lengthens vector vector_no by lIndexLenExpand, or to rec_no plus that
// step when rec_no lies beyond. Returns vector_no or a reported code
// (-90, -3201).
std::int32_t expand_index(FileCtrl& f, std::int32_t vector_no, std::int32_t rec_no);

}  // namespace rb
