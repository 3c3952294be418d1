# Prepares the Wine prefix of the end-to-end runs, or waits for its server to
# end after them. The prefix lives in the build tree (unless the build names
# another), so runs never touch the user's own ~/.wine.
#
#   cmake -DWINE=<wine64> -DWINESERVER=<wineserver> -DACTION=init|shutdown -P wine_prefix.cmake
# WINEPREFIX comes from the environment.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED ENV{WINEPREFIX})
  message(FATAL_ERROR "wine_prefix.cmake: WINEPREFIX is not set")
endif()
set(prefix "$ENV{WINEPREFIX}")

if(ACTION STREQUAL "init")
  # A prefix is created once; later runs reuse it.
  if(EXISTS "${prefix}/system.reg")
    return()
  endif()
  get_filename_component(parent "${prefix}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  # Output goes to a log file, not to a pipe: the wine server started here
  # outlives this command and would otherwise hold the test's pipe open.
  execute_process(
    COMMAND "${WINE}" wineboot --init
    INPUT_FILE /dev/null
    OUTPUT_FILE "${prefix}.log"
    ERROR_FILE "${prefix}.log"
    RESULT_VARIABLE status
    TIMEOUT 600)
  if(NOT status EQUAL 0)
    file(READ "${prefix}.log" log)
    message(FATAL_ERROR "wineboot --init failed (${status}):\n${log}")
  endif()
  # Wait until the first start's registry work is written out.
  execute_process(COMMAND "${WINESERVER}" -w INPUT_FILE /dev/null
                  OUTPUT_QUIET ERROR_QUIET TIMEOUT 600)
  if(NOT EXISTS "${prefix}/system.reg")
    message(FATAL_ERROR "wineboot did not create ${prefix}")
  endif()
elseif(ACTION STREQUAL "shutdown")
  # The server lingers a few seconds after the last program; waiting for it,
  # rather than killing it, leaves alone another build's runs in a shared
  # prefix. A server that has already gone is no failure.
  execute_process(COMMAND "${WINESERVER}" -w INPUT_FILE /dev/null
                  OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
else()
  message(FATAL_ERROR "wine_prefix.cmake: ACTION must be init or shutdown")
endif()
