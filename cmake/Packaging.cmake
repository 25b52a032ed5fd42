# Installation and the packages, from a tree that builds a program.
#
# `cmake --install` puts the program in bin/ (component "program"), with the
# README and the licence; the example parents record-wav and wav-report are
# component "examples", so that an application that starts the program can
# take the program alone (`cmake --install <tree> --component program`).
# Tests, GoogleTest and the measuring programs install nothing.
#
# CPack makes one package per system (scripts/package.sh runs it):
#   Linux    vintra-app-audio_<version>_<arch>.deb: the program alone, its
#            dependencies computed from the binary by dpkg-shlibdeps; the
#            program is the one given to cpack with -D VINTRA_SHIPPED_PROGRAM
#            (cmake/ShippedProgram.cmake), else the tree's own
#   Windows  vintra-app-audio-<version>-windows-x64.zip: the static exe and
#            the example parents

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the vintra-app-audio authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The build types the presets use keep symbols; what ships does not.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # The zip is one folder: the documents at its top, the programs in bin/.
  install(FILES README.md LICENSE DESTINATION . COMPONENT program)

  # Everything installed: the program and the example parents.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x64)
else()
  # Debian's places: /usr/share/doc/<package>/copyright holds the licence,
  # changelog.gz the release notes (the name Debian gives a package whose
  # version has no Debian revision), and a manual page goes with the program.
  set(linux_packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
  set(made ${CMAKE_BINARY_DIR}/packaging)
  # The changelog's latest entry must be this version's; its sign-off names
  # the package's maintainer.
  file(STRINGS ${linux_packaging}/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/linux/changelog has no entry on top for ${PROJECT_VERSION}")
  endif()
  file(STRINGS ${linux_packaging}/changelog signOff REGEX "^ -- " LIMIT_COUNT 1)
  string(REGEX REPLACE "^ -- ([^>]*>).*" "\\1" maintainer "${signOff}")
  configure_file(${linux_packaging}/vintra-app-audio.1.in ${made}/vintra-app-audio.1 @ONLY)
  # gzip -n: no name or time in the header, so that the same text always
  # makes the same file.
  foreach(page ${linux_packaging}/changelog ${made}/vintra-app-audio.1)
    get_filename_component(name ${page} NAME)
    execute_process(COMMAND gzip -9 -n -c ${page} OUTPUT_FILE ${made}/${name}.gz COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${linux_packaging}/changelog)

  set(docdir share/doc/${PROJECT_NAME})
  install(FILES README.md ${made}/changelog.gz DESTINATION ${docdir} COMPONENT program)
  install(FILES LICENSE DESTINATION ${docdir} RENAME copyright COMPONENT program)
  install(FILES ${made}/vintra-app-audio.1.gz DESTINATION share/man/man1 COMPONENT program)

  set(CPACK_GENERATOR DEB)
  # The program alone (not the example parents), as one package named
  # after the project.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${maintainer}")
  set(CPACK_PACKAGE_DESCRIPTION "\
vintra-app-audio is started by a parent application and streams what other
applications play to it: float32 little-endian, 48 kHz stereo, in 10 ms
blocks on standard output, until its standard input closes. It captures one
window's process tree, or everything but one process, by recording each
playback stream alone through the PulseAudio protocol (PulseAudio, or
PipeWire's pipewire-pulse).")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # scripts/package.sh ships the program built in an old Debian root, which
  # runs on every current distribution, in place of this tree's own.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ShippedProgram.cmake)
  # It works against either server; without one it answers "unsupported".
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")
endif()

include(CPack)
