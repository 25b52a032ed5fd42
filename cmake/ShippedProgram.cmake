# CPack runs this after it has installed the package's files into its staging
# folder and before it makes the package (CPACK_PRE_BUILD_SCRIPTS). Given
#   cpack -D VINTRA_SHIPPED_PROGRAM=<path>
# (scripts/package.sh gives the program built to run on every current
# distribution, scripts/portable-linux.sh), that program replaces the build
# tree's own, so that the package's dependencies are computed from the one it
# carries. Without it the tree's own program ships.
if(NOT DEFINED VINTRA_SHIPPED_PROGRAM)
  return()
endif()
if(NOT EXISTS "${VINTRA_SHIPPED_PROGRAM}")
  message(FATAL_ERROR "no program at ${VINTRA_SHIPPED_PROGRAM}")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/vintra-app-audio")
list(FILTER staged INCLUDE REGEX "/bin/vintra-app-audio$")
list(LENGTH staged count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one staged bin/vintra-app-audio in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}, found: ${staged}")
endif()
file(COPY_FILE "${VINTRA_SHIPPED_PROGRAM}" "${staged}")
message(STATUS "shipping ${VINTRA_SHIPPED_PROGRAM} as ${staged}")
