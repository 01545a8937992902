# Runs the built host as a user would and checks exit codes and streams.
#   cmake -DHOST=<quorvel executable> [-DEMULATOR=<runner>] -P run_host.cmake
if(NOT HOST)
  message(FATAL_ERROR "HOST not given")
endif()
set(scratch "${CMAKE_CURRENT_BINARY_DIR}/host_program")

# capture(<rc var> <stdout var> <stderr var> command...). The streams go
# through files: a Wine service started by the program may outlive it and
# hold a pipe open, and reading a pipe would then wait for that service.
function(capture rc_var out_var err_var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc
    OUTPUT_FILE ${scratch}.out ERROR_FILE ${scratch}.err)
  file(READ ${scratch}.out out)
  file(READ ${scratch}.err err)
  set(${rc_var} "${rc}" PARENT_SCOPE)
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

# expect(<exit code> <STDOUT|STDERR> <regex> [args...]): the other stream
# must be empty (under Wine, stderr may carry Wine's own notes, so it is
# checked only when it is the expected stream).
function(expect code stream regex)
  capture(rc out err ${EMULATOR} ${HOST} ${ARGN})
  set(what "quorvel ${ARGN}")
  set(bad "")
  if(NOT rc STREQUAL "${code}")
    string(APPEND bad " exit ${rc} (expected ${code});")
  endif()
  if(stream STREQUAL "STDOUT")
    set(text "${out}")
  else()
    set(text "${err}")
    if(NOT out STREQUAL "")
      string(APPEND bad " unexpected stdout;")
    endif()
  endif()
  if(NOT text MATCHES "${regex}")
    string(APPEND bad " ${stream} does not match '${regex}';")
  endif()
  if(bad)
    message(SEND_ERROR "${what}:${bad}\n--- stdout:\n${out}\n--- stderr:\n${err}")
  else()
    message(STATUS "ok: ${what}")
  endif()
endfunction()

set(usage "usage: quorvel list \\[--table\\]\n")
expect(0 STDOUT "^${usage}" --help)
expect(0 STDOUT "^${usage}" list -h)
expect(2 STDERR "quorvel: no command given\n\n${usage}")
expect(2 STDERR "quorvel: unknown command 'frob'\n\n${usage}" frob)
expect(2 STDERR "quorvel: unknown option '--tabel'\n\n${usage}" list --tabel)
expect(2 STDERR "quorvel: unexpected argument 'x'\n\n${usage}" list x)
expect(2 STDERR "quorvel: enable needs an identifier or a name\n" enable)
expect(2 STDERR "quorvel: unexpected argument 'y'\n" disable x y)
expect(1 STDERR "runonce entries are one-shot and cannot be toggled\n" enable runonce:0000000000000000)
expect(1 STDERR "unknown entry source in id 'nope'\n" disable nope)
expect(1 STDERR "bad id format\n" disable task:123)
# The JSON on one line, then LF alone, on every target.
expect(0 STDOUT "^\\[[^\n]*\\]\n$" list)
expect(0 STDOUT "^STATE  FILE +SCOPE +SOURCE +NAME +PUBLISHER +COMMAND +ID\n" list --table)

# Under Wine the real registry is there: a run value added with Wine's reg
# is listed, switched off and on again through the program itself.
if(EMULATOR)
  set(run_key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
  set(machine_run_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
  set(approved_key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run")
  set(long_command "C:\\windows\\notepad.exe C:\\a\\very\\long\\path\\that\\cannot\\fit\\in\\sixty\\columns.txt")
  function(host_output var)
    capture(rc out err ${CMAKE_COMMAND} -E env COLUMNS=60 ${EMULATOR} ${HOST} ${ARGN})
    if(NOT rc EQUAL 0)
      message(SEND_ERROR "quorvel ${ARGN}: exit ${rc}\n${out}${err}")
    endif()
    set(${var} "${out}" PARENT_SCOPE)
  endfunction()

  capture(rc out err ${EMULATOR} reg add ${run_key} /v HostCheck /t REG_SZ /d "${long_command}" /f)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "reg add failed (${rc})")
  endif()

  host_output(listed list)
  string(REGEX MATCH "\"id\":\"(runkey:[0-9a-f]+)\",\"source\":\"runkey\",\"name\":\"HostCheck\"" _ "${listed}")
  set(on_id "${CMAKE_MATCH_1}")
  if(on_id STREQUAL "")
    message(SEND_ERROR "HostCheck is not listed:\n${listed}")
  else()
    expect(0 STDOUT "^$" disable ${on_id})
    host_output(table list --table)
    string(REGEX MATCH "off +user +runkey +HostCheckdisabled +C:[^\n]*…  (runkey:[0-9a-f]+)\n" row "${table}")
    set(off_id "${CMAKE_MATCH_1}")
    if(off_id STREQUAL "" OR off_id STREQUAL on_id)
      message(SEND_ERROR "no cut row for HostCheckdisabled with a new identifier:\n${table}")
    else()
      expect(1 STDERR "runkey: entry no longer exists\n" enable ${on_id})
      # By the name it had before, in another case.
      expect(0 STDOUT "^$" enable hostcheck)
      host_output(listed list)
      if(NOT listed MATCHES "\"id\":\"${on_id}\",\"source\":\"runkey\",\"name\":\"HostCheck\"")
        message(SEND_ERROR "HostCheck is not back under its first identifier:\n${listed}")
      endif()
    endif()
  endif()

  # A name two items have, in another case and with a non-ASCII letter
  # (the arguments reach the host as UTF-16): both are shown, none switched.
  capture(rc out err ${EMULATOR} reg add ${run_key} /v HostCafé /t REG_SZ /d "C:\\windows\\notepad.exe" /f)
  capture(rc out err ${EMULATOR} reg add ${machine_run_key} /reg:32 /v HOSTCAFÉ /t REG_SZ /d "x.exe" /f)
  expect(1 STDERR "quorvel: 'hostcafé' names 2 items; nothing was switched\\. Give one identifier:\n  runkey:[0-9a-f]+  HKCU\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\\\\HostCafé\n  runkey:[0-9a-f]+  HKLM\\\\Software\\\\WOW6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\\\\HOSTCAFÉ\n" disable hostcafé)
  # Both still on; only the value whose program is gone is marked.
  host_output(table list --table)
  if(NOT table MATCHES "\non +user +runkey +HostCafé " OR NOT table MATCHES "\non +missing +machine +runkey +HOSTCAFÉ ")
    message(SEND_ERROR "the two values are not listed as they were, or not marked as they should be:\n${table}")
  endif()
  capture(rc out err ${EMULATOR} reg delete ${machine_run_key} /reg:32 /v HOSTCAFÉ /f)

  foreach(cleanup "${run_key};HostCheck" "${run_key};HostCheckdisabled" "${approved_key};HostCheckdisabled"
          "${run_key};HostCafé")
    list(GET cleanup 0 key)
    list(GET cleanup 1 name)
    capture(rc out err ${EMULATOR} reg delete ${key} /v ${name} /f)
  endforeach()
endif()
