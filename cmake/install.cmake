# Install rules and packages: on Linux a .tar.gz (static program) and a .deb
# (the program linked against the system's runtimes, as Debian asks), on
# Windows a .zip and an installer. The program takes no options, so its
# version lives here, in the package names and metadata, and in the Windows
# version resource. Each package takes its own components (package.cmake.in).
include(GNUInstallDirs)

# Time stamps in the packages: SOURCE_DATE_EPOCH, by default the commit's
# date, so that two builds of one commit give the same bytes.
set(cdmg_epoch "$ENV{SOURCE_DATE_EPOCH}")
if(cdmg_epoch STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE cdmg_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CDMG_PACKAGE_MAINTAINER "cdmg2csv developers <maintainers@cdmg2csv.invalid>"
  CACHE STRING "Maintainer named in the .deb package")
if(WIN32)
  # The .zip is unpacked anywhere: everything at its top. The installer puts
  # the program in bin, the folder it can add to PATH.
  install(TARGETS cdmg2csv RUNTIME DESTINATION . COMPONENT portable)
  install(TARGETS cdmg2csv RUNTIME DESTINATION bin COMPONENT installed EXCLUDE_FROM_ALL)
  install(FILES README.md CHANGELOG.md DESTINATION . COMPONENT docs)
  install(FILES docs/analysis.md DESTINATION docs COMPONENT docs)
  install(FILES LICENSE DESTINATION . COMPONENT license)
else()
  install(TARGETS cdmg2csv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT portable)
  install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)
  install(FILES docs/analysis.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT docs)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)
  # Debian's own documents: the manual page compressed without a time stamp,
  # a native package's changelog, and a machine-readable copyright made from
  # LICENSE.
  set(cdmg_deb_docs ${CMAKE_CURRENT_BINARY_DIR}/deb-docs)
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} "${cdmg_epoch}")
  string(TIMESTAMP cdmg_release_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  file(WRITE ${cdmg_deb_docs}/changelog
    "cdmg2csv (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}; see /usr/share/doc/cdmg2csv/CHANGELOG.md.\n\n"
    " -- ${CDMG_PACKAGE_MAINTAINER}  ${cdmg_release_date}\n")
  file(READ LICENSE license_text)
  # Past the title and the copyright line; an empty line is " ." in the field.
  string(REGEX REPLACE "^[^\n]*\n\n[^\n]*\n\n" "" license_text "${license_text}")
  string(STRIP "${license_text}" license_text)
  string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
  string(REPLACE "\n" "\n " license_text " ${license_text}")
  file(WRITE ${cdmg_deb_docs}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: cdmg2csv\n\nFiles: *\nCopyright: 2026 The cdmg2csv developers\n"
    "License: Expat\n${license_text}\n")
  add_custom_command(OUTPUT ${cdmg_deb_docs}/changelog.gz ${cdmg_deb_docs}/cdmg2csv.1.gz
    COMMAND gzip -9nc ${cdmg_deb_docs}/changelog > ${cdmg_deb_docs}/changelog.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/cdmg2csv.1 > ${cdmg_deb_docs}/cdmg2csv.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/cdmg2csv.1 VERBATIM)
  add_custom_target(cdmg_deb_docs ALL DEPENDS ${cdmg_deb_docs}/changelog.gz)
  # The install names these files: building the program alone makes them too.
  add_dependencies(cdmg2csv cdmg_deb_docs)
  install(FILES ${cdmg_deb_docs}/cdmg2csv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT docs)
  install(FILES ${cdmg_deb_docs}/copyright ${cdmg_deb_docs}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)
  # The .deb's program, linked dynamically; the tarball keeps the static one.
  if(CDMG_STATIC_LINK)
    add_executable(cdmg2csv_shared src/main.cpp)
    target_link_libraries(cdmg2csv_shared PRIVATE cdmg::cdmg)
    get_target_property(main_ipo cdmg2csv INTERPROCEDURAL_OPTIMIZATION_RELEASE)
    set_target_properties(cdmg2csv_shared PROPERTIES OUTPUT_NAME cdmg2csv
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/shared)
    if(main_ipo)
      set_property(TARGET cdmg2csv_shared PROPERTY INTERPROCEDURAL_OPTIMIZATION_RELEASE TRUE)
    endif()
    install(TARGETS cdmg2csv_shared RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT deb
      EXCLUDE_FROM_ALL)
  else()
    install(TARGETS cdmg2csv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT deb
      EXCLUDE_FROM_ALL)
  endif()
endif()

set(CPACK_PACKAGE_NAME cdmg2csv)
set(CPACK_PACKAGE_VENDOR "The cdmg2csv developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY cdmg2csv)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# The archives take the full install; the .deb and the installer their
# components, some of them left out of the full install.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/package.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/package.cmake.in package.cmake @ONLY)
# Values reach the package tools as written ("$INSTDIR" for NSIS).
set(CPACK_VERBATIM_VARIABLES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(${CMAKE_CURRENT_LIST_DIR}/installer.cmake)
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
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
cpack_add_component(portable HIDDEN)
cpack_add_component(installed HIDDEN)
cpack_add_component(docs HIDDEN)
cpack_add_component(license HIDDEN)
cpack_add_component(deb HIDDEN)
