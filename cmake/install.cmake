# `cmake --install` lays out include/ (the public header), lib/ (the import
# library on Windows, the shared library elsewhere), bin/ (the DLL and the
# host) and a CMake package in lib/cmake/quorvel, so that a host can say
# find_package(quorvel CONFIG) and link quorvel::quorvel.
include(CMakePackageConfigHelpers)

set(QUORVEL_CMAKE_DIR lib/cmake/quorvel)

# On Windows the package also serves hosts built with MSVC: quorvel.lib
# beside mingw's libquorvel.dll.a, and a target file that picks the one the
# host's toolchain reads. A share/doc folder and a pkg-config file go into
# every install; the release zips are such an install (scripts/package).
install(TARGETS quorvel EXPORT quorvelTargets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION lib
  ARCHIVE DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/include/quorvel.h DESTINATION include)
install(TARGETS quorvel_cli RUNTIME DESTINATION bin)

# yyjson is linked privately, so the package asks nothing of it. A static
# yyjson (the mingw build's) is inside the library. A shared one (Debian's
# under build/deps, a vcpkg DLL) need not be on the system where the prefix
# goes, so a copy is installed beside the library; natively the library's
# run path ($ORIGIN) finds it there.
if(NOT WIN32)
  set_target_properties(quorvel PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
get_target_property(_yyjson_type yyjson::yyjson TYPE)
if(_yyjson_type STREQUAL "SHARED_LIBRARY")
  install(IMPORTED_RUNTIME_ARTIFACTS yyjson::yyjson RUNTIME DESTINATION bin LIBRARY DESTINATION lib)
endif()
# pugixml likewise: Debian's is shared, the mingw and -m32 builds' static.
if(TARGET pugixml::shared)
  install(IMPORTED_RUNTIME_ARTIFACTS pugixml::shared RUNTIME DESTINATION bin LIBRARY DESTINATION lib)
endif()

if(WIN32)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorvelTargets-windows.cmake
    DESTINATION ${QUORVEL_CMAKE_DIR} RENAME quorvelTargets.cmake)
  if(QUORVEL_MSVC_IMPLIB)
    install(FILES ${QUORVEL_MSVC_IMPLIB} DESTINATION lib)
  endif()
else()
  install(EXPORT quorvelTargets NAMESPACE quorvel:: DESTINATION ${QUORVEL_CMAKE_DIR})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvel.pc.in ${CMAKE_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quorvel.pc DESTINATION lib/pkgconfig)

# The README's part for users of the library ends at a marker line; what
# follows it is about building and testing the library itself.
set(_readme ${PROJECT_SOURCE_DIR}/README.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_readme})
file(READ ${_readme} _readme_text)
string(FIND "${_readme_text}" "\n<!-- end of the user part" _readme_end)
if(_readme_end LESS 0)
  message(FATAL_ERROR "README.md lacks its '<!-- end of the user part' line")
endif()
string(SUBSTRING "${_readme_text}" 0 ${_readme_end} _readme_text)
file(WRITE ${CMAKE_BINARY_DIR}/doc/README.md "${_readme_text}\n")
install(FILES ${CMAKE_BINARY_DIR}/doc/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/docs/listing.schema.json DESTINATION share/doc/quorvel)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/quorvelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quorvelConfig.cmake INSTALL_DESTINATION ${QUORVEL_CMAKE_DIR})
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quorvelConfig.cmake ${CMAKE_BINARY_DIR}/quorvelConfigVersion.cmake
  DESTINATION ${QUORVEL_CMAKE_DIR})
