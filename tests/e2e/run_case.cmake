# Runs the program once on one end-to-end case and compares, byte for byte,
# what it leaves behind with what the case expects.
#
#   cmake -DEXE=<program> [-DEMULATOR=<wine64, qemu-i386>] [-DTRAPS=masked]
#         -DCASE_DIR=<cases/name> -DCATALOGUE_DIR=<catalogue> -DRUN_DIR=<scratch>
#         [-DREGENERATE=ON] -P run_case.cmake
#
# TRAPS=masked runs the program with its floating-point traps masked, as on a
# machine or emulator where they never fire; every case expects the same
# bytes either way.
#
# The files of the catalogue directory (not its subdirectories) are placed in
# the current directory of the run. A case directory holds
#   input/     further files placed there (optional)
#   expected/  files that must exist after the run, with exactly these bytes
#   stdout, stderr   the exact bytes of the standard streams (absent: empty)
#   status     the exit status (absent: 0)
#   gone       names of input files the run removes, one a line (optional)
# After the run the directory must hold the catalogue, the inputs and the
# expected files, less the gone ones, and nothing else (no scratch file left
# over). A directory such as examples/, with its inputs beside expected/, is
# both a catalogue and a case.
#
# REGENERATE=ON compares nothing: it rewrites the case's expected bytes from
# this run (regenerate_case.cmake), after a deliberate change of the output.
cmake_minimum_required(VERSION 3.25)

foreach(required EXE CASE_DIR CATALOGUE_DIR RUN_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_case.cmake: ${required} not given")
  endif()
endforeach()

set(work "${RUN_DIR}/cwd")
file(REMOVE_RECURSE "${RUN_DIR}")
file(MAKE_DIRECTORY "${work}")

function(copy_all_from dir out_names)
  set(names)
  if(IS_DIRECTORY "${dir}")
    file(GLOB names LIST_DIRECTORIES false RELATIVE "${dir}" "${dir}/*")
    foreach(name IN LISTS names)
      file(COPY_FILE "${dir}/${name}" "${work}/${name}")
    endforeach()
  endif()
  set(${out_names} "${names}" PARENT_SCOPE)
endfunction()

copy_all_from("${CATALOGUE_DIR}" catalogue_names)
copy_all_from("${CASE_DIR}/input" input_names)

# Standard input is an empty file, the same on every host.
file(WRITE "${RUN_DIR}/stdin" "")
if(TRAPS STREQUAL "masked")
  set(ENV{GSCMERGE_TEST_TRAPS} masked)
elseif(DEFINED TRAPS AND NOT TRAPS STREQUAL "")
  message(FATAL_ERROR "run_case.cmake: TRAPS is \"masked\" or not given")
endif()
execute_process(
  COMMAND ${EMULATOR} "${EXE}"
  WORKING_DIRECTORY "${work}"
  INPUT_FILE "${RUN_DIR}/stdin"
  OUTPUT_FILE "${RUN_DIR}/stdout"
  ERROR_FILE "${RUN_DIR}/stderr"
  RESULT_VARIABLE status
  TIMEOUT 120)

if(REGENERATE)
  include("${CMAKE_CURRENT_LIST_DIR}/regenerate_case.cmake")
  return()
endif()

set(failures "")

# Shows both sides of a mismatch as hex, since the bytes that differ are
# mostly line ends and blanks.
function(compare_bytes what expected_file actual_file)
  if(EXISTS "${expected_file}")
    file(READ "${expected_file}" expected HEX)
  else()
    set(expected "")
  endif()
  if(EXISTS "${actual_file}")
    file(READ "${actual_file}" actual HEX)
  else()
    set(actual "<missing>")
  endif()
  if(NOT expected STREQUAL actual)
    set(failures "${failures}\n${what} differs\n  expected: ${expected}\n  actual:   ${actual}"
        PARENT_SCOPE)
  endif()
endfunction()

set(expected_status 0)
if(EXISTS "${CASE_DIR}/status")
  file(READ "${CASE_DIR}/status" expected_status)
  string(STRIP "${expected_status}" expected_status)
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
  string(APPEND failures "\nexit status ${status}, expected ${expected_status}")
endif()
compare_bytes("standard output" "${CASE_DIR}/stdout" "${RUN_DIR}/stdout")
compare_bytes("standard error" "${CASE_DIR}/stderr" "${RUN_DIR}/stderr")

set(expected_names)
if(IS_DIRECTORY "${CASE_DIR}/expected")
  file(GLOB expected_names LIST_DIRECTORIES false RELATIVE "${CASE_DIR}/expected"
       "${CASE_DIR}/expected/*")
endif()
foreach(name IN LISTS expected_names)
  compare_bytes("file ${name}" "${CASE_DIR}/expected/${name}" "${work}/${name}")
endforeach()

set(wanted ${catalogue_names} ${input_names} ${expected_names})
if(EXISTS "${CASE_DIR}/gone")
  file(STRINGS "${CASE_DIR}/gone" gone_names)
  list(REMOVE_ITEM wanted ${gone_names})
endif()
list(REMOVE_DUPLICATES wanted)
list(SORT wanted)
file(GLOB present RELATIVE "${work}" "${work}/*")
list(SORT present)
if(NOT present STREQUAL wanted)
  string(APPEND failures "\ndirectory holds [${present}]\n  expected  [${wanted}]")
endif()

if(failures)
  message(FATAL_ERROR "${CASE_DIR}:${failures}")
endif()
