# Runs a test program and checks its exit status and the lines of its
# standard output that name a class's function (Qt Test's PASS and FAIL lines,
# the --list lines), in order:
#   cmake -DCOMMAND=<program|arg|...> -DEXPECT_STATUS=<n> -DEXPECT_LINES=<line|...> -P ...
# ("|" separates the items, since a test command cannot carry a list).
string(REPLACE "|" ";" command "${COMMAND}")
string(REPLACE "|" ";" expected "${EXPECT_LINES}")
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
string(REPLACE "\n" ";" lines "${output}")
set(named)
foreach(line IN LISTS lines)
  if(line MATCHES "::")
    string(REGEX REPLACE " +$" "" line "${line}")
    list(APPEND named "${line}")
  endif()
endforeach()
if(NOT "${status}" STREQUAL "${EXPECT_STATUS}" OR NOT "${named}" STREQUAL "${expected}")
  string(REPLACE ";" "\n  " named_text "${named}")
  string(REPLACE ";" "\n  " expected_text "${expected}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECT_STATUS}\n"
                      "lines:\n  ${named_text}\nexpected:\n  ${expected_text}\n"
                      "stderr: ${errors}")
endif()
