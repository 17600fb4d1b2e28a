# zqhost info and its loader's refusals, the way a user runs them.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/zqhost_check.cmake)

if(CASE STREQUAL "info")
  run_zqhost(info)
  expect_rc(0)
  foreach(wanted "\"5.3.01.trel.00001 \"" "RTP stack    RTP in       13" "RTP stack    RTP out      14"
          "RTP stack    dispatcher   13"
          "6f47cebe-ee66-46c5-ac3d-3f9ff18c2c9b" "64140b77-fb89-4170-bde2-cafc58bf7527"
          "e6097550-c441-4044-b9c8-e32949c1df10")
    expect_contains("${out}" "${wanted}")
  endforeach()
elseif(CASE STREQUAL "bad_argument")
  expect_refused(2 "/nonexistent" info --plugin /nonexistent)
  expect_refused(2 "lacks GetModuleCount" info --plugin ${NOT_A_PLUGIN})
  expect_refused(2 "--frobnicate" info --frobnicate)
  expect_refused(2 "" info --plugin)
  expect_refused(2 "" no-such-command)
else()
  message(FATAL_ERROR "unknown case '${CASE}'")
endif()
