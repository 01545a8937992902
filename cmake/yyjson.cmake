# The oldest yyjson accepted; the Windows preset lowers it (see README).
if(NOT DEFINED QUORVEL_YYJSON_MIN_HEX)
  set(QUORVEL_YYJSON_MIN_HEX 0x000C00)
endif()
set(QUORVEL_YYJSON_MIN_HEX_TEXT "${QUORVEL_YYJSON_MIN_HEX}")

# yyjson: a CMake package found on CMAKE_PREFIX_PATH (scripts/deps-* put one
# under build/deps), or the system's. The package ships no version file, so
# the version is read from the header.
find_package(yyjson CONFIG REQUIRED)
get_target_property(_yyjson_inc yyjson::yyjson INTERFACE_INCLUDE_DIRECTORIES)
# The include folder is the package's real path: never re-rooted under a
# cross toolchain's sysroot.
find_file(QUORVEL_YYJSON_HEADER yyjson.h PATHS ${_yyjson_inc} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUORVEL_YYJSON_HEADER)
  message(FATAL_ERROR "yyjson.h not found in ${_yyjson_inc}")
endif()
file(STRINGS "${QUORVEL_YYJSON_HEADER}" _yyjson_hex REGEX "^#define YYJSON_VERSION_HEX")
string(REGEX MATCH "0x[0-9A-Fa-f]+" _yyjson_hex "${_yyjson_hex}")
math(EXPR _yyjson_num "${_yyjson_hex}")
if(_yyjson_num LESS ${QUORVEL_YYJSON_MIN_HEX})
  message(FATAL_ERROR "yyjson ${_yyjson_hex} at ${QUORVEL_YYJSON_HEADER} is too old: "
                      "this build needs ${QUORVEL_YYJSON_MIN_HEX_TEXT} or later")
endif()
message(STATUS "yyjson ${_yyjson_hex} from ${QUORVEL_YYJSON_HEADER}")
