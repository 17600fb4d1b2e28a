# zqhost demo, send, recv and codecs, the way a user runs them.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/zqhost_check.cmake)

set(to --to 127.0.0.2:5004)
set(on --on 127.0.0.2:5004)
if(CASE STREQUAL "bad_send")
  expect_refused(2 "unknown codec 'opus'" send ${to} --codec opus --tone 440)
  expect_refused(2 "option --to: '70000' is not a port" send --to 127.0.0.2:70000 --codec PCMA --tone 440)
  expect_refused(2 "option --to: '999.1.1.1' does not resolve" send --to 999.1.1.1:5004 --codec PCMA --tone 440)
  expect_refused(2 "option --bind" send ${to} --bind 999.1.1.1 --codec PCMA --tone 440)
  expect_refused(2 "option --in: cannot read '${WORK}/no-such-input'" send ${to} --codec PCMA --in ${WORK}/no-such-input)
  expect_refused(2 "option --in: '${WORK}' is a directory" send ${to} --codec PCMA --in ${WORK})
  expect_refused(2 "--in FILE or --tone HZ" send ${to} --codec PCMA)
  expect_refused(2 "option --pt" send ${to} --codec PCMA --tone 440 --pt 72)
  expect_refused(2 "give one with --pt" send ${to} --codec audioMPEG4 --tone 440)
  expect_refused(2 "option --loss: '101'" send ${to} --codec PCMA --tone 440 --loss 101)
  expect_refused(2 "option --loss cannot go into a graph file"
                 send ${to} --codec PCMA --tone 440 --loss 5 --save-graph ${WORK}/x.xml)
elseif(CASE STREQUAL "bad_recv")
  expect_refused(2 "option --on: '0' is not a port" recv --on 127.0.0.2:0 --out ${WORK}/x)
  expect_refused(2 "option --out: cannot write '${WORK}/no-such-dir/x'" recv ${on} --out ${WORK}/no-such-dir/x)
  expect_refused(2 "unknown codec 'h265'" recv ${on} --out ${WORK}/x --codec PCMA --codec h265)
  expect_refused(2 "option --peer: '999.1.1.1' does not resolve" recv ${on} --out ${WORK}/x --peer 999.1.1.1)
  expect_refused(2 "option --window" recv ${on} --out ${WORK}/x --window -1)
  expect_refused(2 "--out FILE" recv ${on})
elseif(CASE STREQUAL "ipv6")
  # IPv6 endpoints go in brackets; a bad one, or a local address of the
  # other family, is refused naming the option.
  expect_refused(2 "option --to: '::1:5004' is not HOST:PORT (an IPv6 address goes in brackets"
                 send --to ::1:5004 --codec PCMA --tone 440)
  expect_refused(2 "option --to: 'fe80::1%no-such-if' does not resolve: its zone names no network interface"
                 send --to [fe80::1%no-such-if]:5004 --codec PCMA --tone 440)
  expect_refused(2 "option --bind: '127.0.0.1' is an IPv4 address but --to gives an IPv6 one ('::1')"
                 send --to [::1]:5004 --bind 127.0.0.1 --codec PCMA --tone 440)
  expect_refused(2 "option --peer: '127.0.0.1' is an IPv4 address but --on gives an IPv6 one ('::1')"
                 recv --on [::1]:5004 --peer 127.0.0.1 --out ${WORK}/x)
  # A graph file keeps the address texts as given, without brackets.
  run_zqhost(save sender ${WORK}/sender6.xml --to [::1]:5004)
  expect_rc(0)
  file(READ ${WORK}/sender6.xml graph)
  # Told no --bind, an IPv6 sender binds the any address: from ::1 to ::1 it
  # would take its reports for unwanted.
  if(NOT graph MATCHES "LocalIPAddress\" type=\"STRING\" value=\"::\"" OR NOT graph MATCHES "RemoteIPAddress\" type=\"STRING\" value=\"::1\"")
    fail("expected LocalIPAddress :: and RemoteIPAddress ::1 in:\n${graph}")
  endif()
elseif(CASE STREQUAL "quiet_peer")
  # Nobody sends: the run ends with --seconds, and says so.
  free_port_pair(port)
  expect_refused(1 "nothing arrived on 127.0.0.2:${port}"
                 recv --on 127.0.0.2:${port} --out ${WORK}/quiet.alaw --seconds 1 --log-level none)
elseif(CASE STREQUAL "bad_demo")
  expect_refused(2 "option --loss: '101'" demo --loss 101)
  expect_refused(2 "option --seconds" demo --seconds 0)
  expect_refused(2 "audioMPEG4 has no default payload type" demo --codec audioMPEG4)
elseif(CASE STREQUAL "codecs")
  run_zqhost(codecs)
  expect_contains("${out}" "audioG711A       PCMA             8     8000       audio")
elseif(CASE STREQUAL "demo")
  # Drops on purpose: the verdict must account for every loss. Six seconds:
  # the first receiver report leaves at the first tick (5 s) after traffic began.
  # Over IPv4, then over IPv6 (from [::] to [::1]).
  foreach(family IN ITEMS "" "--ipv6")
    run_zqhost(demo --loss 10 --seconds 6 --log-level error ${family})
    expect_rc(0)
    expect_contains("${out}" "verdict: PASS\n")
    expect_contains("${out}" "ok   RTCP went both ways")
    expect_only_log_lines("Success to bind socket" "SetRecvBufferSize" "CanSendPacket sz")
  endforeach()
  expect_contains("${out}" " from [::]:")
else()
  message(FATAL_ERROR "unknown case '${CASE}'")
endif()
