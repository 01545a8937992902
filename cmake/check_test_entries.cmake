# Fails when a GoogleTest program holds a test that none of its ctest
# entries runs, or that more than one runs (see test_entries.cmake).
#   cmake -DPROGRAM=<test program> [-DEMULATOR=<runner>] -DENTRIES=<file> -P check_test_entries.cmake
# ENTRIES holds a line per entry: its name, "=", its --gtest_filter.

execute_process(COMMAND ${EMULATOR} ${PROGRAM} --gtest_list_tests
  OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed (${status})")
endif()

# "Suite." on a line of its own, then each test indented; either may be
# followed by a comment ("  # GetParam() = ...").
string(REPLACE "\r" "" listed "${listed}")
string(REPLACE "\n" ";" lines "${listed}")
set(tests)
set(suite "")
foreach(line ${lines})
  if(line MATCHES "^([A-Za-z0-9_/]+\\.)( |$)")
    set(suite "${CMAKE_MATCH_1}")
  elseif(suite AND line MATCHES "^  ([A-Za-z0-9_/]+)")
    list(APPEND tests "${suite}${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH tests count)
if(count EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} lists no tests")
endif()

# A filter's patterns as anchored regular expressions: "*" any text, "?"
# one character, ":" between patterns. Negative patterns (after "-") are
# not used by the entries, and refused here rather than misread.
file(STRINGS ${ENTRIES} entries)
set(names)
foreach(entry ${entries})
  string(REGEX MATCH "^([^=]+)=(.*)$" ignored "${entry}")
  set(name "${CMAKE_MATCH_1}")
  set(filter "${CMAKE_MATCH_2}")
  if(filter MATCHES "-")
    message(FATAL_ERROR "entry ${name}: negative filters are not understood here: ${filter}")
  endif()
  string(REPLACE "." "\\." filter "${filter}")
  string(REPLACE "*" ".*" filter "${filter}")
  string(REPLACE "?" "." filter "${filter}")
  string(REPLACE ":" "|" filter "${filter}")
  list(APPEND names ${name})
  set(regex_${name} "^(${filter})$")
endforeach()

set(unrun)
set(twice)
foreach(test ${tests})
  set(runs)
  foreach(name ${names})
    if(test MATCHES "${regex_${name}}")
      list(APPEND runs ${name})
    endif()
  endforeach()
  list(LENGTH runs n)
  if(n EQUAL 0)
    list(APPEND unrun ${test})
  elseif(n GREATER 1)
    list(JOIN runs ", " runs)
    list(APPEND twice "${test} (${runs})")
  endif()
endforeach()

set(report "")
if(unrun)
  list(JOIN unrun "\n  " unrun)
  string(APPEND report "Run by no entry:\n  ${unrun}\n")
endif()
if(twice)
  list(JOIN twice "\n  " twice)
  string(APPEND report "Run by more than one:\n  ${twice}\n")
endif()
if(report)
  message(FATAL_ERROR "${PROGRAM}: its ctest entries do not run each test once.\n${report}"
                      "Entries come from the test sources (cmake/test_entries.cmake): re-run cmake, "
                      "or register the file that defines them.")
endif()
message(STATUS "${count} tests, each run by one ctest entry")
