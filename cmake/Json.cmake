# nlohmann/json, header-only: the list of what plays is written with it.
#
# Native builds take the installed package (Debian's nlohmann-json3-dev,
# MSYS2's mingw-w64-x86_64-nlohmann-json on Windows). The cross build has no
# MinGW copy of it: there the host's header-only copy serves, put on the
# include path from a folder of its own, so that the host's /usr/include
# never reaches the MinGW compiler.
add_library(vintra_json INTERFACE)
find_package(nlohmann_json 3 CONFIG QUIET)
if(nlohmann_json_FOUND AND NOT CMAKE_CROSSCOMPILING)
  target_link_libraries(vintra_json INTERFACE nlohmann_json::nlohmann_json)
else()
  find_path(VINTRA_JSON_HOST_INCLUDE nlohmann/json.hpp
    PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VINTRA_JSON_HOST_INCLUDE)
    message(FATAL_ERROR "nlohmann/json not found: install nlohmann-json3-dev (scripts/setup.sh does)")
  endif()
  set(json_include ${CMAKE_BINARY_DIR}/json-include)
  file(COPY ${VINTRA_JSON_HOST_INCLUDE}/nlohmann DESTINATION ${json_include})
  target_include_directories(vintra_json SYSTEM INTERFACE ${json_include})
endif()
