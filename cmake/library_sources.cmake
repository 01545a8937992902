# The library's sources, one list for every build that compiles them: the
# library itself (src/) and the fuzz targets (fuzz/), which build it again
# with their own instrumentation.
#   quorvel_core_sources  the layers above the platform seam, and the seam's shared code
#   quorvel_mem_sources   the in-memory machine
#   quorvel_win_sources   the Win32 platform
get_filename_component(_quorvel_src ${CMAKE_CURRENT_LIST_DIR}/../src ABSOLUTE)
file(GLOB quorvel_core_sources CONFIGURE_DEPENDS
  ${_quorvel_src}/interface/*.cpp ${_quorvel_src}/providers/*.cpp ${_quorvel_src}/platform/*.cpp)
file(GLOB quorvel_mem_sources CONFIGURE_DEPENDS ${_quorvel_src}/platform/mem/*.cpp)
file(GLOB quorvel_win_sources CONFIGURE_DEPENDS ${_quorvel_src}/platform/win/*.cpp)
