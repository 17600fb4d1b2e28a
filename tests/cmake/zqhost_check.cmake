# Tests that run zqhost the way a user does, from a `cmake -P` script per
# folder that holds the cases. Included by tests/CMakeLists.txt for
# zq_add_zqhost_check, and by each script for the checks.

# A test that runs `script` (in the calling folder) for one case.
function(zq_add_zqhost_check name script case label)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DZQHOST=$<TARGET_FILE:zqhost> -DFREEPORTS=$<TARGET_FILE:zqtest_freeports>
                   -DNOT_A_PLUGIN=$<TARGET_FILE:zqcore> -DEXAMPLES=${CMAKE_SOURCE_DIR}/examples
                   -DCASE=${case} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/work/${case}
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/${script})
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 60)
endfunction()

# Runs zqhost with ARGN; sets rc, out and err.
function(run_zqhost)
  execute_process(COMMAND ${ZQHOST} ${ARGN} TIMEOUT 60
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(rc "${rc}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

function(fail why)
  message(FATAL_ERROR "${why}\nexit code ${rc}\nstdout:\n${out}\nstderr:\n${err}")
endfunction()

function(expect_rc wanted)
  if(NOT rc EQUAL wanted)
    fail("expected exit code ${wanted}")
  endif()
endfunction()

function(expect_contains text wanted)
  string(FIND "${text}" "${wanted}" at)
  if(at EQUAL -1)
    fail("expected '${wanted}'")
  endif()
endfunction()

# Runs zqhost with ARGN and expects a refusal: exit code `code` and one line
# on standard error containing `wanted`. A refused command line (exit code 2)
# prints nothing on standard output either.
function(expect_refused code wanted)
  run_zqhost(${ARGN})
  expect_rc(${code})
  string(REGEX MATCHALL "\n" newlines "${err}")
  list(LENGTH newlines count)
  if(NOT count EQUAL 1 OR (code EQUAL 2 AND NOT out STREQUAL ""))
    fail("expected one line on standard error")
  endif()
  expect_contains("${err}" "${wanted}")
endfunction()

# Every line of standard error contains one of the texts in ARGN (texts
# without brackets): a run
# that should go well logs nothing else at the level it was given.
function(expect_only_log_lines)
  string(REGEX REPLACE "\n$" "" lines "${err}")
  # Brackets and semicolons would change how CMake splits the list.
  string(REPLACE ";" "," lines "${lines}")
  string(REPLACE "[" "(" lines "${lines}")
  string(REPLACE "]" ")" lines "${lines}")
  string(REPLACE "\n" ";" lines "${lines}")
  foreach(line IN LISTS lines)
    set(known FALSE)
    foreach(text IN LISTS ARGN)
      string(FIND "${line}" "${text}" at)
      if(NOT at EQUAL -1)
        set(known TRUE)
      endif()
    endforeach()
    if(NOT known)
      fail("unexpected log line: ${line}")
    endif()
  endforeach()
endfunction()

# An even port P such that P and P + 1 are free on 127.0.0.1 and 127.0.0.2.
function(free_port_pair variable)
  execute_process(COMMAND ${FREEPORTS} 127.0.0.1 127.0.0.2 RESULT_VARIABLE failed OUTPUT_VARIABLE port
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "no free port pair")
  endif()
  set(${variable} ${port} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  file(MAKE_DIRECTORY "${WORK}")
endif()
