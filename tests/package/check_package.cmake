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
file(MAKE_DIRECTORY ${WORK_DIR})

# capture(<rc var> <stdout var> <stderr var> command...). The streams go
# through files: a Wine service started by a program may outlive it and
# hold a pipe open, and reading a pipe would then wait for that service.
function(capture rc_var out_var err_var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc
    OUTPUT_FILE ${WORK_DIR}/step.out ERROR_FILE ${WORK_DIR}/step.err)
  file(READ ${WORK_DIR}/step.out out)
  file(READ ${WORK_DIR}/step.err err)
  set(${rc_var} "${rc}" PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

function(run what)
  capture(rc out err ${ARGN})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}${err}")
  endif()
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
# Under Wine the prefix gets a run value with a non-ASCII name and escapes
# in its data for the time of the check, removed again before any verdict.
set(run_key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
set(value_name "Café package check")
if(EMULATOR)
  run("add a run value" ${EMULATOR} reg add ${run_key} /v "${value_name}" /t REG_SZ
      /d "C:\\tools\\x.exe \"quoted\" --flag" /f)
endif()
capture(tiny_rc tiny_out tiny_err ${EMULATOR} ${host_build}/package_host${exe})
# The installed command-line host finds its library from bin/.
capture(host_rc host_out host_err ${EMULATOR} ${prefix}/bin/quorvel${exe} list)
if(EMULATOR)
  run("remove the run value" ${EMULATOR} reg delete ${run_key} /v "${value_name}" /f)
endif()

if(NOT tiny_rc EQUAL 0 OR NOT tiny_out MATCHES "^list: (\\[[^\n]*\\])\nnull id: null id\n$")
  message(FATAL_ERROR "the tiny host (${tiny_rc}) said:\n${tiny_out}${tiny_err}")
endif()
set(library_text "${CMAKE_MATCH_1}")
message(STATUS "tiny host:\n${tiny_out}")
if(NOT host_rc EQUAL 0 OR NOT host_out STREQUAL "${library_text}\n")
  message(FATAL_ERROR "the installed host (${host_rc}) listed:\n${host_out}${host_err}\n"
                      "the library gave the tiny host:\n${library_text}")
endif()
if(EMULATOR AND NOT library_text MATCHES "\"name\":\"${value_name}\",\"command\":\"C:\\\\\\\\tools")
  message(FATAL_ERROR "the listing lacks the run value:\n${library_text}")
endif()
