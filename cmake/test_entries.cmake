# How GoogleTest programs become ctest entries. An entry runs the tests
# that a set of source files defines (a folder's, or one file's), chosen by
# a filter that is read from those files, never written by hand; and one
# check entry per program lists the program's tests and fails when a test
# is run by no entry, or by more than one. So no test can silently not run.
#
# The filters are read when CMake configures, so every test source is a
# configure dependency: a new fixture is picked up by the next build.

# Tests that the emulator runs (Wine) share one prefix in the build folder:
# made before the first, its server stopped after the last, and never two
# tests in it at once. quorvel_under_wine(test) puts a test under that rule.
set(QUORVEL_WINE_ENV WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix)
function(quorvel_under_wine name)
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine RESOURCE_LOCK wine ENVIRONMENT "${QUORVEL_WINE_ENV}")
  endif()
endfunction()

# The filter that selects every test the files define: "Fixture.*" for each
# fixture of a TEST or TEST_F, "*/Fixture.*" for one of a TEST_P.
function(quorvel_gtest_filter out)
  set(patterns)
  foreach(file ${ARGN})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} text)
    string(REGEX MATCHALL "(^|[^A-Za-z0-9_])TEST(_F|_P)?[ \t]*\\([ \t\r\n]*[A-Za-z0-9_]+" found "${text}")
    foreach(match ${found})
      string(REGEX MATCH "TEST(_F|_P)?[ \t]*\\([ \t\r\n]*([A-Za-z0-9_]+)$" ignored "${match}")
      if(CMAKE_MATCH_1 STREQUAL "_P")
        list(APPEND patterns "*/${CMAKE_MATCH_2}.*")
      else()
        list(APPEND patterns "${CMAKE_MATCH_2}.*")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES patterns)
  list(SORT patterns)
  list(JOIN patterns ":" filter)
  set(${out} "${filter}" PARENT_SCOPE)
endfunction()

# A ctest entry `name` that runs, in `program`, the tests that the source
# files after it define.
function(quorvel_gtest_entry name program)
  quorvel_gtest_filter(filter ${ARGN})
  if(filter STREQUAL "")
    message(FATAL_ERROR "ctest entry ${name}: no test found in ${ARGN}")
  endif()
  add_test(NAME ${name} COMMAND ${program} --gtest_filter=${filter})
  quorvel_under_wine(${name})
  set_property(GLOBAL APPEND PROPERTY quorvel_gtest_entries_${program} "${name}=${filter}")
endfunction()

# One entry per test source file of `program`, named `prefix` and the
# file's name without "_test.cpp".
function(quorvel_gtest_file_entries program prefix)
  foreach(file ${ARGN})
    get_filename_component(stem ${file} NAME)
    string(REGEX REPLACE "_test\\.cpp$" "" stem ${stem})
    quorvel_gtest_entry(${prefix}${stem} ${program} ${file})
  endforeach()
endfunction()

# The check entry `<program>_registered`; called after the program's last entry.
function(quorvel_gtest_check program)
  get_property(entries GLOBAL PROPERTY quorvel_gtest_entries_${program})
  set(entries_file ${CMAKE_CURRENT_BINARY_DIR}/${program}_entries.txt)
  list(JOIN entries "\n" text)
  file(WRITE ${entries_file} "${text}\n")
  add_test(NAME ${program}_registered
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
            -DENTRIES=${entries_file} -P ${PROJECT_SOURCE_DIR}/cmake/check_test_entries.cmake)
  quorvel_under_wine(${program}_registered)
endfunction()
