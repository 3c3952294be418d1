# Checks the include graph of textio/: layers only look down, and no group of
# modules includes itself round in a circle.
#
#   cmake -DSOURCE_DIR=<the project's source directory> -P include_graph.cmake
#
# A module is a header and its implementation file (textio/units.h and
# textio/units.cpp); a platform's implementation file (platform_posix.cpp)
# belongs to its interface (platform.h). A module may include modules of its
# own layer and of the layers below it, never one above it; every module must
# be in a layer. The layers, lowest first:
set(layers system values errors connections statements process)
# the one interface to the operating system
set(layer_system platform)
# layouts, numbers and the buffers' bytes: pure work that fails only through
# its callers
set(layer_values layout decimal_format decimal_tables wide_multiply numeric_input output_buffer)
# the one way out of the process, the error report that takes it, and the
# arithmetic's traps, which end in that report
set(layer_errors process_exit error_report floating_point)
# records read from blocks of bytes, numbered units connected to files, and
# the console unit
set(layer_connections input_buffer fixed_columns units console)
# read and write statements on units and on the console, and the typed
# statements over compiled layouts
set(layer_statements input output record_statements)
# the frame of the process: start-up, the stop and the normal end
set(layer_process process)
# Includes that break the rules, each with its reason; there are none, and
# there should stay none.
set(exceptions "")

cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED SOURCE_DIR)
  message(FATAL_ERROR "include_graph.cmake: SOURCE_DIR not given")
endif()
get_filename_component(textio "${SOURCE_DIR}/textio" ABSOLUTE)

set(layer_index 0)
foreach(layer IN LISTS layers)
  foreach(module IN LISTS layer_${layer})
    set(rank_${module} ${layer_index})
    set(layer_of_${module} ${layer})
  endforeach()
  math(EXPR layer_index "${layer_index} + 1")
endforeach()

file(GLOB headers RELATIVE "${textio}" "${textio}/*.h")
file(GLOB sources RELATIVE "${textio}" "${textio}/*.cpp")
set(modules "")
foreach(header IN LISTS headers)
  string(REGEX REPLACE "\\.h$" "" module "${header}")
  list(APPEND modules ${module})
endforeach()

if(NOT modules)
  message(FATAL_ERROR "include_graph.cmake: no headers in ${textio}")
endif()

set(problems "")
foreach(file IN LISTS headers sources)
  string(REGEX REPLACE "\\.(h|cpp)$" "" module "${file}")
  # platform_posix.cpp -> platform
  while(NOT module IN_LIST modules AND module MATCHES "_")
    string(REGEX REPLACE "_[^_]*$" "" module "${module}")
  endwhile()
  if(NOT module IN_LIST modules)
    string(APPEND problems "\n  textio/${file} belongs to no header")
    continue()
  endif()
  file(STRINGS "${textio}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"textio/")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "\"textio/([A-Za-z0-9_]+)\\.h\"")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    if(target STREQUAL module)
      continue()
    endif()
    if("${module}>${target}" IN_LIST exceptions)
      continue()
    endif()
    list(APPEND deps_${module} ${target})
    list(APPEND users_${target} ${module})
    if(NOT DEFINED rank_${module} OR NOT DEFINED rank_${target})
      continue()  # reported below
    endif()
    if(rank_${target} GREATER rank_${module})
      string(APPEND problems "\n  textio/${file} (${layer_of_${module}}) includes ${target}.h, "
                             "a module of the higher layer ${layer_of_${target}}")
    endif()
  endforeach()
endforeach()

foreach(module IN LISTS modules)
  if(NOT DEFINED rank_${module})
    string(APPEND problems "\n  textio/${module} is in no layer: add it to one in this script")
  endif()
endforeach()
foreach(exception IN LISTS exceptions)
  string(REPLACE ">" ";" ends "${exception}")
  list(GET ends 0 from)
  list(GET ends 1 to)
  file(GLOB from_files "${textio}/${from}.h" "${textio}/${from}.cpp")
  set(still_there FALSE)
  foreach(from_file IN LISTS from_files)
    file(STRINGS "${from_file}" hits REGEX "#[ \t]*include[ \t]*\"textio/${to}\\.h\"")
    if(hits)
      set(still_there TRUE)
    endif()
  endforeach()
  if(NOT still_there)
    string(APPEND problems "\n  the exception ${from} -> ${to} is gone: remove it from this script")
  endif()
endforeach()

# Takes away from `remaining`, again and again, every module none of whose
# neighbours in the lists `<kind>_<module>` remain.
function(peel kind)
  set(progress TRUE)
  while(progress)
    set(progress FALSE)
    foreach(module IN LISTS remaining)
      set(held FALSE)
      foreach(neighbour IN LISTS ${kind}_${module})
        if(neighbour IN_LIST remaining)
          set(held TRUE)
          break()
        endif()
      endforeach()
      if(NOT held)
        list(REMOVE_ITEM remaining ${module})
        set(progress TRUE)
      endif()
    endforeach()
  endwhile()
  set(remaining ${remaining} PARENT_SCOPE)
endfunction()

# Cycles: first the modules whose includes have all been taken away, then
# those that nothing remaining includes (they only lead into a cycle); what
# is left is the cycle itself.
set(remaining ${modules})
peel(deps)
peel(users)
if(remaining)
  set(cycle_edges "")
  foreach(module IN LISTS remaining)
    foreach(dep IN LISTS deps_${module})
      if(dep IN_LIST remaining)
        list(APPEND cycle_edges "${module} -> ${dep}")
      endif()
    endforeach()
  endforeach()
  list(JOIN cycle_edges ", " cycle_text)
  string(APPEND problems "\n  include cycle among these modules: ${cycle_text}")
endif()

if(problems)
  message(FATAL_ERROR "textio/ include graph:${problems}")
endif()
list(LENGTH modules module_count)
message(STATUS "textio/: ${module_count} modules in layers, no cycle")
