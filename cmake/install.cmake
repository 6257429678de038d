# Install rules and packages: a .tar.gz and a .deb on Linux, a .zip on
# Windows. The program takes no options, so its version lives here, in the
# package names and metadata, and in the Windows version resource.
include(GNUInstallDirs)

set(cdmg_docs README.md LICENSE CHANGELOG.md)
if(WIN32)
  # A Windows user unpacks the .zip anywhere: everything at its top.
  install(TARGETS cdmg2csv RUNTIME DESTINATION .)
  install(FILES ${cdmg_docs} DESTINATION .)
else()
  install(TARGETS cdmg2csv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES cdmg2csv.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${cdmg_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CDMG_PACKAGE_MAINTAINER "cdmg2csv developers <maintainers@cdmg2csv.invalid>"
  CACHE STRING "Maintainer named in the .deb package")
set(CPACK_PACKAGE_NAME cdmg2csv)
set(CPACK_PACKAGE_VENDOR "The cdmg2csv developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CDMG_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The summary is the first line; this is the text below it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "cdmg2csv reads the three component files of one strong-motion acceleration
record (WKZ-base-N022.txt, WKZ-base-N292.txt and WKZ-base-UP.txt, each with
32 header records and data records of eight E10.4 fields), asks for the
name of the output file and writes one comma-separated row per sample:
the time and the three accelerations.")
  if(CDMG_STATIC_LINK)
    # A static program depends on nothing.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
