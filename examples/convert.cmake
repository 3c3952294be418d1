# Converts the sample catalogue in a scratch copy and checks every output
# file byte for byte against examples/expected/.
#
#   cmake -DGSCMERGE_EXE=<path of the built gscmerge>
#         [-DEMULATOR=<the program's emulator, such as qemu-i386>]
#         -DSOURCE_DIR=<the project's source directory, which holds examples/>
#         -DWORK_DIR=<a scratch directory, emptied first>
#         [-DUPDATE_EXPECTED=ON]
#         -P examples/convert.cmake
#
# The program reads "merlode.ins" and the raw region files from its current
# directory and writes the output files next to them, so it runs in WORK_DIR,
# never in the source tree. It must end with status 0 and write nothing to
# standard output or standard error, leave no scratch file behind, and write
# exactly the files of examples/expected/ with exactly their bytes.
#
# After a deliberate change of the output, UPDATE_EXPECTED=ON copies the new
# output files into examples/expected/ instead of comparing them; review the
# difference before committing it.

foreach(variable GSCMERGE_EXE SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
    message(FATAL_ERROR "convert.cmake: -D${variable}=... is required")
  endif()
endforeach()

set(catalogue_dir "${SOURCE_DIR}/examples")
set(expected_dir "${catalogue_dir}/expected")
if(NOT EXISTS "${catalogue_dir}/merlode.ins")
  message(FATAL_ERROR "convert.cmake: no merlode.ins in ${catalogue_dir}")
endif()
if(NOT EXISTS "${GSCMERGE_EXE}")
  message(FATAL_ERROR "convert.cmake: program not found: ${GSCMERGE_EXE}")
endif()

# A fresh scratch copy of the inputs: the instruction file and the raw files.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(GLOB raw_files LIST_DIRECTORIES false "${catalogue_dir}/*.raw")
file(COPY "${catalogue_dir}/merlode.ins" ${raw_files} DESTINATION "${WORK_DIR}")
file(GLOB inputs LIST_DIRECTORIES false RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")

execute_process(
  COMMAND ${EMULATOR} "${GSCMERGE_EXE}"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)

set(problems "")
if(NOT status STREQUAL "0")
  string(APPEND problems "  exit status ${status}, expected 0\n")
endif()
if(NOT out STREQUAL "")
  string(APPEND problems "  standard output was not empty:\n${out}\n")
endif()
if(NOT err STREQUAL "")
  string(APPEND problems "  standard error was not empty:\n${err}\n")
endif()

# What the run added to the directory: the output files, and nothing else.
file(GLOB after LIST_DIRECTORIES false RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
set(outputs ${after})
list(REMOVE_ITEM outputs ${inputs})
list(SORT outputs)

if(UPDATE_EXPECTED)
  if(NOT problems STREQUAL "")
    message(FATAL_ERROR "The sample conversion failed, expected files left as they were:\n"
                        "${problems}")
  endif()
  file(GLOB old_expected LIST_DIRECTORIES false "${expected_dir}/*")
  if(old_expected)
    file(REMOVE ${old_expected})
  endif()
  foreach(name IN LISTS outputs)
    file(COPY "${WORK_DIR}/${name}" DESTINATION "${expected_dir}")
  endforeach()
  message(STATUS "Expected outputs replaced in ${expected_dir}: ${outputs}")
  return()
endif()

file(GLOB expected LIST_DIRECTORIES false RELATIVE "${expected_dir}" "${expected_dir}/*")
list(SORT expected)
if(NOT outputs STREQUAL expected)
  string(APPEND problems "  files written: ${outputs}\n  files expected: ${expected}\n")
endif()

foreach(name IN LISTS expected)
  if(NOT EXISTS "${WORK_DIR}/${name}")
    continue()
  endif()
  # Compared as bytes, so that a changed line end counts as a difference.
  file(READ "${expected_dir}/${name}" expected_bytes HEX)
  file(READ "${WORK_DIR}/${name}" written_bytes HEX)
  if(NOT expected_bytes STREQUAL written_bytes)
    string(APPEND problems
           "  ${name} differs: compare ${WORK_DIR}/${name} with ${expected_dir}/${name}\n")
  endif()
endforeach()

if(NOT problems STREQUAL "")
  message(FATAL_ERROR "The sample conversion does not match examples/expected:\n${problems}"
                      "The outputs are in ${WORK_DIR}")
endif()
list(LENGTH expected count)
message(STATUS "Sample catalogue converted: all ${count} output files match examples/expected.")
message(STATUS "The outputs are in ${WORK_DIR}")
