# Fails when a test of the build tree has a name longer than 100 characters:
# ctest pads every line of its report to the longest name, so one long name
# makes the whole report unreadable. Parameterised rows get their names from
# the name generators of their test files.
#
#   cmake -DCTEST=<ctest> -DBUILD_DIR=<build tree> -P test_names.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required CTEST BUILD_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "test_names.cmake: ${required} not given")
  endif()
endforeach()

set(limit 100)
execute_process(COMMAND "${CTEST}" --test-dir "${BUILD_DIR}" --show-only
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest --show-only failed in ${BUILD_DIR}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(count 0)
set(too_long "")
foreach(line IN LISTS lines)
  if(line MATCHES "^ *Test +#[0-9]+: (.*)$")
    set(name "${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    string(LENGTH "${name}" length)
    if(length GREATER limit)
      string(APPEND too_long "\n  ${length}: ${name}")
    endif()
  endif()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "no tests listed in ${BUILD_DIR}")
endif()
if(too_long)
  message(FATAL_ERROR "test names longer than ${limit} characters:${too_long}")
endif()
