# The database of the example host goes through recbase dump --all, load and
# dump --all again: the second text is the first. Run by ctest with EXAMPLE
# and TOOL (the programs) and WORK (a working directory of its own).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Runs a command in WORK, its standard output to the file out; stops on failure.
function(run out)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status
                  OUTPUT_FILE ${WORK}/${out} ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit status ${status}\n${err}")
  endif()
endfunction()

run(example.out ${EXAMPLE})
run(first.txt ${TOOL} dump example.db --all)
run(load.out ${TOOL} load first.txt -o again.db)
run(second.txt ${TOOL} dump again.db --all)
file(READ ${WORK}/first.txt first)
file(READ ${WORK}/second.txt second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "the dump of the loaded example database differs: ${WORK}/second.txt")
endif()
file(STRINGS ${WORK}/first.txt totals REGEX "^end ")
message(STATUS "example database round trip: ${totals}")
