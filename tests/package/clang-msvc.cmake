# clang for the MSVC ABI (x86_64- or i686-pc-windows-msvc, from
# NOCRT_TARGET) with lld-link, on a machine that has no MSVC headers or
# libraries: nothing is linked by default, and CMake's compiler checks
# only compile. The package host brings what it needs (CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${NOCRT_TARGET})
set(CMAKE_LINKER lld-link)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NOCRT_TARGET)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "No MSVC libraries here")
