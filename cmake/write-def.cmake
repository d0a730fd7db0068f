# Writes the module definition file of recbase.dll: the functions that
# include/recbase.h declares, in the header's order. Run with -DHEADER= and
# -DOUTPUT=.
file(READ ${HEADER} header)
string(REGEX MATCHALL "RECBASE_CALL[ \t\n]+([A-Za-z0-9_]+)\\(" decls "${header}")
set(names "")
foreach(d IN LISTS decls)
  string(REGEX REPLACE "RECBASE_CALL[ \t\n]+([A-Za-z0-9_]+)\\(" "\\1" name "${d}")
  list(APPEND names ${name})
endforeach()
list(LENGTH names count)
if(NOT count EQUAL 94)
  message(FATAL_ERROR "header declares ${count} functions, expected 94")
endif()
set(text "LIBRARY recbase.dll\nEXPORTS\n")
foreach(name IN LISTS names)
  string(APPEND text "  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
