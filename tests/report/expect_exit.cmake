# Runs a command and checks its exit status and that it said one line on
# standard error: cmake -DEXPECT=<status> -DCOMMAND=<program|arg|arg> -P expect_exit.cmake
# ("|" separates the arguments, since a test command cannot carry a list).
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_QUIET)
if(NOT status STREQUAL EXPECT)
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECT}; stderr: ${err}")
endif()
string(REGEX MATCHALL "\n" breaks "${err}")
list(LENGTH breaks lines)
if(NOT lines EQUAL 1)
  message(FATAL_ERROR "expected one line on stderr, got ${lines}: ${err}")
endif()
message(STATUS "${err}")
