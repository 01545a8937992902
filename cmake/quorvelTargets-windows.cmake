# The imported target quorvel::quorvel of a Windows install: bin/quorvel.dll,
# include/, and the import library that the host's linker reads, quorvel.lib
# for MSVC and clang-cl, libquorvel.dll.a for mingw.
get_filename_component(_quorvel_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
  set(_quorvel_implib "${_quorvel_prefix}/lib/quorvel.lib")
else()
  set(_quorvel_implib "${_quorvel_prefix}/lib/libquorvel.dll.a")
endif()
if(NOT EXISTS "${_quorvel_implib}")
  set(quorvel_FOUND FALSE)
  set(quorvel_NOT_FOUND_MESSAGE "the import library ${_quorvel_implib} is missing")
elseif(NOT TARGET quorvel::quorvel)
  add_library(quorvel::quorvel SHARED IMPORTED)
  set_target_properties(quorvel::quorvel PROPERTIES
    IMPORTED_LOCATION "${_quorvel_prefix}/bin/quorvel.dll"
    IMPORTED_IMPLIB "${_quorvel_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_quorvel_prefix}/include")
endif()
unset(_quorvel_implib)
unset(_quorvel_prefix)
