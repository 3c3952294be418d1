# Makes the packages of a build tree with cpack and lists what each archive
# holds; fails unless each holds exactly the files a user should get.
#
#   cmake -DBUILD_DIR=build/default -P cmake/check_packages.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED BUILD_DIR)
  message(FATAL_ERROR "check_packages.cmake: -DBUILD_DIR=... is required")
endif()
get_filename_component(BUILD_DIR "${BUILD_DIR}" ABSOLUTE)
set(packages "${BUILD_DIR}/packages")
file(REMOVE_RECURSE "${packages}")

execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${packages}"
                WORKING_DIRECTORY "${BUILD_DIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed in ${BUILD_DIR}")
endif()

file(GLOB archives LIST_DIRECTORIES false "${packages}/*.zip" "${packages}/*.tar.gz"
     "${packages}/*.deb")
if(archives STREQUAL "")
  message(FATAL_ERROR "cpack made no package in ${BUILD_DIR}")
endif()

set(failures "")
foreach(archive IN LISTS archives)
  get_filename_component(name "${archive}" NAME)
  if(name MATCHES "\\.deb$")
    # The data part's paths, the last word of each line; directories end in /.
    execute_process(COMMAND dpkg-deb --contents "${archive}" OUTPUT_VARIABLE listing
                    RESULT_VARIABLE status)
    string(REGEX REPLACE "[^\n]* \\./" "" listing "${listing}")
    set(expected "usr/bin/gscmerge;usr/share/doc/gscmerge/LICENSE;usr/share/doc/gscmerge/README.md")
  else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${archive}" OUTPUT_VARIABLE listing
                    RESULT_VARIABLE status)
    string(REGEX REPLACE "\\.(zip|tar\\.gz)$" "" top "${name}")
    if(name MATCHES "\\.zip$")
      set(expected "${top}/LICENSE;${top}/README.md;${top}/gscmerge.exe")
    else()
      set(expected "${top}/bin/gscmerge" "${top}/share/doc/gscmerge/LICENSE"
                   "${top}/share/doc/gscmerge/README.md")
    endif()
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot list ${archive}")
  endif()
  message(STATUS "${name}:\n${listing}")
  # Files only, in a fixed order.
  string(REGEX REPLACE "\n$" "" listing "${listing}")
  string(REPLACE "\n" ";" entries "${listing}")
  list(FILTER entries EXCLUDE REGEX "/$")
  list(SORT entries)
  if(NOT entries STREQUAL expected)
    string(APPEND failures "\n${name} holds [${entries}], expected [${expected}]")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "packages of ${BUILD_DIR}:${failures}")
endif()
