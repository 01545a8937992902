# Installs the build into a fresh prefix, checks the layout, then builds
# and runs the tiny host of this folder against the installed package.
#   cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DGENERATOR=<generator>
#         [-DTOOLCHAIN=<file>] [-DEMULATOR=<runner>] -P check_package.cmake
foreach(v BUILD_DIR WORK_DIR GENERATOR)
  if(NOT ${v})
    message(FATAL_ERROR "${v} not given")
  endif()
endforeach()
set(prefix ${WORK_DIR}/prefix)
set(host_build ${WORK_DIR}/host)
file(REMOVE_RECURSE ${WORK_DIR})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(expected include/quorvel.h lib/cmake/quorvel/quorvelConfig.cmake
  lib/cmake/quorvel/quorvelConfigVersion.cmake lib/cmake/quorvel/quorvelTargets.cmake)
if(TOOLCHAIN)
  list(APPEND expected bin/quorvel.dll lib/libquorvel.dll.a bin/quorvel.exe)
  set(exe .exe)
else()
  list(APPEND expected lib/libquorvel.so bin/quorvel)
  set(exe "")
endif()
foreach(f ${expected})
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "the install lacks ${f}")
  endif()
endforeach()

# Only the installed prefix is searched: the package must not need the
# yyjson that the library was built with.
set(configure ${CMAKE_COMMAND} -E env --unset=CMAKE_PREFIX_PATH
  ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${host_build} -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if(TOOLCHAIN)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run("configure the tiny host" ${configure})
run("build the tiny host" ${CMAKE_COMMAND} --build ${host_build})

# The DLL is found beside the program, as a user would ship it.
if(TOOLCHAIN)
  file(COPY ${prefix}/bin/quorvel.dll DESTINATION ${host_build})
endif()
run("run the tiny host" ${EMULATOR} ${host_build}/package_host${exe})
if(NOT run_output MATCHES "list: \\[.*\\]\nnull id: null id\n")
  message(FATAL_ERROR "the tiny host said:\n${run_output}")
endif()
message(STATUS "tiny host:\n${run_output}")

# The installed command-line host finds its library from bin/.
run("run the installed host" ${EMULATOR} ${prefix}/bin/quorvel${exe} list)
if(NOT run_output MATCHES "^\\[")
  message(FATAL_ERROR "the installed host listed:\n${run_output}")
endif()
