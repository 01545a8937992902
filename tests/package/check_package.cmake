# Checks a package as a user gets it and builds hosts from nothing but it.
#
#   cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DGENERATOR=<generator>
#         [-DTOOLCHAIN=<file>] [-DEMULATOR=<runner>] [-DHOST_C_FLAGS=<flags>]
#         -P check_package.cmake
#     installs the build into a fresh prefix, checks its layout, builds the
#     tiny host of this folder with find_package and runs it.
#
#   cmake -DZIP=<dist/quorvel-V-windows-ARCH.zip> -DWORK_DIR=<scratch>
#         -DGENERATOR=<generator> -DTOOLCHAIN=<mingw toolchain file>
#         -DOBJDUMP=<cross objdump> -DSCHEMA=<listing schema>
#         [-DEMULATOR=<wine runner>] -P check_package.cmake
#     unpacks a release zip into an empty folder, checks every file of it,
#     and builds the host three ways: mingw gcc with the pkg-config file
#     against libquorvel.dll.a, clang and lld-link against quorvel.lib
#     (the MSVC format), and CMake's find_package. Given EMULATOR, runs them
#     in a fresh Wine prefix: each lists, switches a run value off and on,
#     and every listing they print is validated against SCHEMA. With
#     -DSAME_AS=<file>, the first listing must be the one in that file
#     (the x64 zip's, which this check writes to WORK_DIR/listing.txt).
if(ZIP)
  set(required WORK_DIR GENERATOR TOOLCHAIN OBJDUMP SCHEMA)
else()
  set(required BUILD_DIR WORK_DIR GENERATOR)
endif()
foreach(v ${required})
  if(NOT ${v})
    message(FATAL_ERROR "${v} not given")
  endif()
endforeach()
set(prefix ${WORK_DIR}/prefix)
set(host_build ${WORK_DIR}/host)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${prefix})

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

set(docs share/doc/quorvel/LICENSE share/doc/quorvel/README.md share/doc/quorvel/listing.schema.json)
set(cmake_files lib/cmake/quorvel/quorvelConfig.cmake lib/cmake/quorvel/quorvelConfigVersion.cmake
  lib/cmake/quorvel/quorvelTargets.cmake)
set(windows_files bin/quorvel.dll bin/quorvel.exe include/quorvel.h lib/libquorvel.dll.a
  lib/quorvel.lib lib/pkgconfig/quorvel.pc ${cmake_files} ${docs})

if(ZIP)
  get_filename_component(zip_name ${ZIP} NAME)
  if(NOT zip_name MATCHES "^quorvel-([0-9]+\\.[0-9]+\\.[0-9]+)-windows-(x64|x86)\\.zip$")
    message(FATAL_ERROR "${zip_name} is not named quorvel-<version>-windows-<x64|x86>.zip")
  endif()
  set(version ${CMAKE_MATCH_1})
  set(arch ${CMAKE_MATCH_2})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${prefix} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${ZIP}")
  endif()
  # Exactly the files of a release, nothing missing and nothing more.
  file(GLOB_RECURSE got RELATIVE ${prefix} ${prefix}/*)
  set(expected ${windows_files})
  list(SORT got)
  list(SORT expected)
  if(NOT got STREQUAL expected)
    message(FATAL_ERROR "${zip_name} holds\n  [${got}]\nexpected\n  [${expected}]")
  endif()
  set(exe .exe)
else()
  run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
  set(expected include/quorvel.h lib/pkgconfig/quorvel.pc ${cmake_files} ${docs})
  if(TOOLCHAIN)
    set(expected ${windows_files})
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
endif()

if(ZIP)
  # The one version everywhere: the file name, the header, the CMake
  # package, the pkg-config file and the DLL's version resource.
  file(STRINGS ${prefix}/include/quorvel.h lines REGEX "^#define QUORVEL_VERSION_")
  string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*PATCH ([0-9]+).*" "\\1.\\2.\\3" header_version "${lines}")
  file(STRINGS ${prefix}/lib/cmake/quorvel/quorvelConfigVersion.cmake lines REGEX "^set\\(PACKAGE_VERSION ")
  string(REGEX REPLACE ".*\"(.*)\".*" "\\1" cmake_version "${lines}")
  file(STRINGS ${prefix}/lib/pkgconfig/quorvel.pc lines REGEX "^Version: ")
  string(REGEX REPLACE "^Version: " "" pc_version "${lines}")
  foreach(v header_version cmake_version pc_version)
    if(NOT ${v} STREQUAL version)
      message(FATAL_ERROR "${v} is '${${v}}', the zip's name says ${version}")
    endif()
  endforeach()
  # The DLL's tables, as for the build's own DLL.
  if(arch STREQUAL "x64")
    set(bits 64)
    set(triple x86_64)
  else()
    set(bits 32)
    set(triple i686)
  endif()
  foreach(table exports imports header version)
    run("DLL ${table} check" ${CMAKE_COMMAND} -DDLL=${prefix}/bin/quorvel.dll -DOBJDUMP=${OBJDUMP}
        -DTABLE=${table} -DBITS=${bits} -DVERSION=${version} -DLICENSE=${prefix}/share/doc/quorvel/LICENSE
        -P ${CMAKE_CURRENT_LIST_DIR}/../e2e/check_dll.cmake)
  endforeach()
  file(READ ${prefix}/share/doc/quorvel/README.md readme)
  if(NOT readme MATCHES "\n## Use it from your program\n" OR readme MATCHES "end of the user part")
    message(FATAL_ERROR "share/doc/quorvel/README.md is not the README's user part")
  endif()
endif()

# 1. find_package. Only the unpacked or installed prefix is searched: the
# package must not need the yyjson that the library was built with.
set(configure ${CMAKE_COMMAND} -E env --unset=CMAKE_PREFIX_PATH
  ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${host_build} -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
if(TOOLCHAIN)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(HOST_C_FLAGS)
  # The library's own flags (-m32), without which the package is refused.
  list(APPEND configure "-DCMAKE_C_FLAGS=${HOST_C_FLAGS}")
endif()
run("configure the tiny host" ${configure})
run("build the tiny host" ${CMAKE_COMMAND} --build ${host_build} -v)
if(ZIP)
  file(READ ${WORK_DIR}/step.out out)
  if(NOT out MATCHES "${prefix}/lib/libquorvel\\.dll\\.a")
    message(FATAL_ERROR "the mingw host was not linked against libquorvel.dll.a:\n${out}")
  endif()
endif()
set(hosts ${host_build}/package_host${exe})

if(ZIP)
  # 2. mingw gcc, with the flags of the pkg-config file: -lquorvel takes
  # libquorvel.dll.a.
  set(mingw_cc ${triple}-w64-mingw32-gcc-posix)
  set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  execute_process(COMMAND pkg-config --cflags --libs quorvel OUTPUT_VARIABLE pc_flags
    RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR NOT pc_flags MATCHES "-lquorvel")
    message(FATAL_ERROR "pkg-config gave no flags for quorvel (${rc}): ${pc_flags}")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  file(MAKE_DIRECTORY ${WORK_DIR}/mingw ${WORK_DIR}/msvc)
  run("build the mingw host" ${mingw_cc} -Wall -Werror -O2 ${CMAKE_CURRENT_LIST_DIR}/main.c ${pc_flags}
      -o ${WORK_DIR}/mingw/host_mingw.exe)
  list(APPEND hosts ${WORK_DIR}/mingw/host_mingw.exe)

  # 3. clang and lld-link against quorvel.lib, as MSVC's linker would take
  # it. No MSVC headers or runtime are here: the host is compiled against
  # nocrt/, which has the few C functions it calls, over kernel32, and
  # links with an import library of those kernel32 functions made here.
  set(msvc ${WORK_DIR}/msvc)
  if(bits EQUAL 32)
    set(machine i386)
    set(kill_at -k)
    set(kernel32 "GetStdHandle@4\n  WriteFile@20\n  ExitProcess@4")
  else()
    set(machine i386:x86-64)
    set(kill_at "")
    set(kernel32 "GetStdHandle\n  WriteFile\n  ExitProcess")
  endif()
  file(WRITE ${msvc}/kernel32.def "LIBRARY kernel32.dll\nEXPORTS\n  ${kernel32}\n")
  run("kernel32 import library" llvm-dlltool -m ${machine} ${kill_at} -d ${msvc}/kernel32.def
      -l ${msvc}/kernel32.lib)
  foreach(src ${CMAKE_CURRENT_LIST_DIR}/main.c ${CMAKE_CURRENT_LIST_DIR}/nocrt/nocrt.c)
    get_filename_component(name ${src} NAME_WE)
    run("compile ${name}.c for MSVC" clang --target=${triple}-pc-windows-msvc -Wall -Werror -O1
        -ffreestanding -fno-builtin -nostdlibinc -isystem ${CMAKE_CURRENT_LIST_DIR}/nocrt
        -I ${prefix}/include -c ${src} -o ${msvc}/${name}.obj)
  endforeach()
  run("link the MSVC-format host" lld-link /nologo /out:${msvc}/host_msvc.exe /subsystem:console
      /entry:host_start /nodefaultlib ${msvc}/main.obj ${msvc}/nocrt.obj
      ${prefix}/lib/quorvel.lib ${msvc}/kernel32.lib)
  # It imports the four functions by their plain names.
  capture(rc out err ${OBJDUMP} -p ${msvc}/host_msvc.exe)
  string(REGEX MATCHALL "\t[0-9a-f]+[ \t]+[0-9]+  quorvel_[a-z_]+" imported "${out}")
  string(REGEX REPLACE "\t[0-9a-f]+[ \t]+[0-9]+  " "" imported "${imported}")
  list(SORT imported)
  if(NOT imported STREQUAL "quorvel_free_string;quorvel_last_error;quorvel_list;quorvel_set_enabled")
    message(FATAL_ERROR "the MSVC-format host imports [${imported}] from quorvel.dll:\n${out}")
  endif()
  list(APPEND hosts ${msvc}/host_msvc.exe)

  # 4. find_package again, with that MSVC-style compiler: the package's
  # target must give it quorvel.lib.
  set(msvc_build ${WORK_DIR}/host-msvc)
  run("configure the tiny host for MSVC" ${CMAKE_COMMAND} -E env --unset=CMAKE_PREFIX_PATH
      ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${msvc_build} -G ${GENERATOR}
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_LIST_DIR}/clang-msvc.cmake
      -DNOCRT_TARGET=${triple}-pc-windows-msvc -DNOCRT_KERNEL32=${msvc}/kernel32.lib)
  run("build the tiny host for MSVC" ${CMAKE_COMMAND} --build ${msvc_build} -v)
  file(READ ${WORK_DIR}/step.out out)
  if(NOT out MATCHES "${prefix}/lib/quorvel\\.lib" OR out MATCHES "libquorvel\\.dll\\.a")
    message(FATAL_ERROR "the MSVC-style host was not linked against quorvel.lib:\n${out}")
  endif()
  list(APPEND hosts ${msvc_build}/package_host.exe)
  message(STATUS "${zip_name}: files, versions and DLL tables right; hosts built: find_package "
                 "with mingw (libquorvel.dll.a) and with clang for MSVC (quorvel.lib), "
                 "mingw gcc with pkg-config, clang with lld-link against quorvel.lib")
  if(NOT EMULATOR)
    message(STATUS "${zip_name}: hosts not run (${NOT_RUN})")
    return()
  endif()
  # A fresh Wine prefix of this check's own.
  set(ENV{WINEPREFIX} ${WORK_DIR}/wineprefix)
endif()

# The DLL is found beside the program, as a user would ship it.
if(TOOLCHAIN)
  foreach(host ${hosts})
    get_filename_component(dir ${host} DIRECTORY)
    file(COPY ${prefix}/bin/quorvel.dll DESTINATION ${dir})
  endforeach()
endif()
# Under Wine the prefix gets a run value with a non-ASCII name and escapes
# in its data for the time of the check, removed again before any verdict.
set(run_key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
set(value_name "Café package check")
# A zip's check also adds a machine-wide value, which a 32-bit DLL must
# list from the same (64-bit) registry view as the 64-bit one.
set(machine_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
set(machine_value "package check machine")
if(EMULATOR)
  run("add a run value" ${EMULATOR} reg add ${run_key} /v "${value_name}" /t REG_SZ
      /d "C:\\tools\\x.exe \"quoted\" --flag" /f)
  if(ZIP)
    run("add a machine run value" ${EMULATOR} reg add ${machine_key} /v "${machine_value}"
        /t REG_SZ /d "C:\\tools\\m.exe" /f)
  endif()
endif()
set(i 0)
foreach(host ${hosts})
  capture(rc_${i} out_${i} err_${i} ${EMULATOR} ${host})
  math(EXPR i "${i} + 1")
endforeach()
# The installed command-line host finds its library from bin/.
capture(host_rc host_out host_err ${EMULATOR} ${prefix}/bin/quorvel${exe} list)
if(EMULATOR)
  run("remove the run value" ${EMULATOR} reg delete ${run_key} /v "${value_name}" /f)
  if(ZIP)
    run("remove the machine run value" ${EMULATOR} reg delete ${machine_key} /v "${machine_value}" /f)
    execute_process(COMMAND ${EMULATOR} --stop)
  endif()
endif()

# Every host: its first listing is the command-line host's, and under Wine
# it switched the run value off and on, each step seen in a listing.
set(listing "(\\[[^\r\n]*\\])\r?\n")
set(pattern "^list: ${listing}null id: null id\r?\n")
if(EMULATOR)
  string(APPEND pattern "list: ${listing}list: ${listing}switched off and on: runkey:[0-9a-f]+\r?\n")
endif()
set(i 0)
set(all_listings "")
foreach(host ${hosts})
  if(NOT rc_${i} EQUAL 0 OR NOT out_${i} MATCHES "${pattern}$")
    message(FATAL_ERROR "${host} (${rc_${i}}) said:\n${out_${i}}${err_${i}}")
  endif()
  set(library_text "${CMAKE_MATCH_1}")
  string(APPEND all_listings "${CMAKE_MATCH_1}\n${CMAKE_MATCH_2}\n${CMAKE_MATCH_3}\n")
  if(NOT host_rc EQUAL 0 OR NOT host_out MATCHES "^${listing}$" OR NOT CMAKE_MATCH_1 STREQUAL library_text)
    message(FATAL_ERROR "the installed host (${host_rc}) listed:\n${host_out}${host_err}\n"
                        "the library gave ${host}:\n${library_text}")
  endif()
  math(EXPR i "${i} + 1")
endforeach()
message(STATUS "hosts:\n${out_0}")
if(EMULATOR AND NOT library_text MATCHES "\"name\":\"${value_name}\",\"command\":\"C:\\\\\\\\tools")
  message(FATAL_ERROR "the listing lacks the run value:\n${library_text}")
endif()
if(ZIP AND EMULATOR)
  if(NOT library_text MATCHES "\"name\":\"${machine_value}\",")
    message(FATAL_ERROR "the listing lacks the machine run value:\n${library_text}")
  endif()
  file(WRITE ${WORK_DIR}/listing.txt "${library_text}")
  if(SAME_AS)
    file(READ ${SAME_AS} other)
    if(NOT other STREQUAL library_text)
      message(FATAL_ERROR "${zip_name} lists\n${library_text}\nwhere ${SAME_AS} holds\n${other}")
    endif()
    message(STATUS "${zip_name} lists the same as ${SAME_AS}")
  endif()
endif()
if(SCHEMA)
  string(STRIP "${all_listings}" all_listings)
  file(WRITE ${WORK_DIR}/listings.txt "${all_listings}\n")
  run("validate the listings" /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_listings.py
      ${SCHEMA} ${WORK_DIR}/listings.txt)
  message(STATUS "the hosts' listings match the schema")
endif()
