# The archive a user downloads, made by `cpack` in a build tree:
#   Windows builds   gscmerge-<version>-win32.zip, -win64.zip:
#                    gscmerge.exe, README.md and LICENSE side by side
#   Linux builds     gscmerge-<version>-Linux-x86_64.tar.gz (-Linux-i686 for
#                    the 32-bit build): bin/gscmerge, share/doc/gscmerge/
#                    README.md and LICENSE; and gscmerge_<version>_amd64.deb
#                    (i386): the same files under /usr
# cmake/check_packages.cmake makes them and lists what each one holds.
if(WIN32)
  set(GSCMERGE_INSTALL_BINDIR .)
  set(GSCMERGE_INSTALL_DOCDIR .)
else()
  set(GSCMERGE_INSTALL_BINDIR bin)
  set(GSCMERGE_INSTALL_DOCDIR share/doc/gscmerge)
endif()
install(TARGETS gscmerge RUNTIME DESTINATION ${GSCMERGE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${GSCMERGE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME gscmerge)
set(CPACK_PACKAGE_VENDOR "the gscmerge developers")
set(CPACK_PACKAGE_CONTACT "the gscmerge developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts raw region files of the Guide Star Catalog into merged 43-column star lists")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(word_bits 32)
else()
  set(word_bits 64)
endif()
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win${word_bits})
else()
  set(CPACK_GENERATOR TGZ DEB)
  if(word_bits EQUAL 32)
    set(CPACK_SYSTEM_NAME Linux-i686)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
  else()
    set(CPACK_SYSTEM_NAME Linux-x86_64)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The host's tools know the libraries of a native build only.
  find_program(GSCMERGE_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(GSCMERGE_DPKG_SHLIBDEPS AND NOT CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
  endif()
endif()
include(CPack)
