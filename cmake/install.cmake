# `cmake --install` lays out include/ (the public header), lib/ (the import
# library on Windows, the shared library elsewhere), bin/ (the DLL and the
# host) and a CMake package in lib/cmake/quorvel, so that a host can say
# find_package(quorvel CONFIG) and link quorvel::quorvel.
include(CMakePackageConfigHelpers)

set(QUORVEL_CMAKE_DIR lib/cmake/quorvel)

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

install(EXPORT quorvelTargets NAMESPACE quorvel:: DESTINATION ${QUORVEL_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/quorvelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quorvelConfig.cmake INSTALL_DESTINATION ${QUORVEL_CMAKE_DIR})
# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quorvelConfig.cmake ${CMAKE_BINARY_DIR}/quorvelConfigVersion.cmake
  DESTINATION ${QUORVEL_CMAKE_DIR})
