# The Qt Test suites in ctest, one test per test function, and the
# environment the GUI tests run in.
#
#   QUILLAR_GUI_TEST_ENVIRONMENT
#     For a test's ENVIRONMENT: no window system (offscreen), and the engine
#     without its sandbox (as root it starts only so), the GPU and the
#     background downloads.
#
#   quillar_gui_test_environment(TEST...)
#     Gives the tests that environment.
#
#   quillar_discover_qt_tests(TARGET [CLASS name] [DISCOVERY_TIMEOUT seconds]
#                             [PROPERTIES name value...]
#                             [MATCHING regex PROPERTIES name value...]...)
#     After each build of TARGET, asks it for its test functions and adds one
#     test per function, <Class>.<function>, that runs that function only.
#     Without CLASS the program is one of ours that runs several classes
#     (tests/support/test_classes.h): "--list" lists Class::function and
#     "Class::function" runs one. With CLASS it is a QTEST_MAIN program of
#     that one class: "-functions" lists and "function" runs one.
#     Every test gets QUILLAR_GUI_TEST_ENVIRONMENT and TIMEOUT 300, then the
#     PROPERTIES (each value one item), then, for the tests whose name matches
#     a MATCHING regex, the properties given after it; a property given again
#     replaces the earlier value.
#
# As gtest_discover_tests does it: the list is written next to the program
# after the build and a ctest include file reads it, so a new test function
# is a new test without touching CMake. This file is also the script that the
# build step runs (cmake -P).
include_guard(GLOBAL)

set(QUILLAR_GUI_TEST_ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen"
    "QTWEBENGINE_DISABLE_SANDBOX=1"
    "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --disable-background-networking --disable-component-update")

# value as a bracket argument, kept whole (semicolons too) in generated code
function(_quillar_qt_tests_quote out value)
  set(${out} "[==[${value}]==]" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  # The build step: -DEXECUTABLE= -DCLASS= -DWORKING_DIRECTORY= -DTESTS_FILE=
  # -DLIST_VARIABLE= -DDISCOVERY_TIMEOUT=
  cmake_policy(VERSION 3.25) # no project here to set it
  file(REMOVE "${TESTS_FILE}")
  foreach(variable IN LISTS QUILLAR_GUI_TEST_ENVIRONMENT)
    string(REGEX MATCH "^([^=]*)=(.*)$" _ "${variable}")
    set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
  endforeach()
  if(CLASS)
    set(list_option -functions)
    set(line_regex "^([A-Za-z_][A-Za-z0-9_]*)\\(\\)$")
  else()
    set(list_option --list)
    set(line_regex "^([A-Za-z_][A-Za-z0-9_]*)::([A-Za-z_][A-Za-z0-9_]*)$")
  endif()
  execute_process(COMMAND "${EXECUTABLE}" ${list_option}
    WORKING_DIRECTORY "${WORKING_DIRECTORY}"
    TIMEOUT ${DISCOVERY_TIMEOUT}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${EXECUTABLE} ${list_option} ended with ${status}:\n${output}${errors}")
  endif()

  string(REPLACE "\r" "" output "${output}")
  string(REPLACE "\n" ";" lines "${output}")
  set(names)
  set(content "# Written by ${CMAKE_CURRENT_LIST_FILE} from ${EXECUTABLE} ${list_option}\n")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${line_regex}")
      continue()
    endif()
    if(CLASS)
      set(name "${CLASS}.${CMAKE_MATCH_1}")
      set(selector "${CMAKE_MATCH_1}")
    else()
      set(name "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
      set(selector "${CMAKE_MATCH_1}::${CMAKE_MATCH_2}")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${EXECUTABLE} lists ${selector} twice")
    endif()
    list(APPEND names "${name}")
    _quillar_qt_tests_quote(q_name "${name}")
    _quillar_qt_tests_quote(q_executable "${EXECUTABLE}")
    _quillar_qt_tests_quote(q_selector "${selector}")
    _quillar_qt_tests_quote(q_directory "${WORKING_DIRECTORY}")
    string(APPEND content
      "add_test(${q_name} ${q_executable} ${q_selector})\n"
      "set_tests_properties(${q_name} PROPERTIES WORKING_DIRECTORY ${q_directory})\n")
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "${EXECUTABLE} ${list_option} lists no test function:\n${output}${errors}")
  endif()
  _quillar_qt_tests_quote(q_names "${names}")
  string(APPEND content "set(${LIST_VARIABLE} ${q_names})\n")
  file(WRITE "${TESTS_FILE}" "${content}")
  return()
endif()

function(quillar_gui_test_environment)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT ${QUILLAR_GUI_TEST_ENVIRONMENT})
endfunction()

# properties: name value name value ..., as code for set_tests_properties
function(_quillar_qt_tests_properties out properties)
  list(LENGTH properties count)
  math(EXPR odd "${count} % 2")
  if(odd)
    message(FATAL_ERROR "quillar_discover_qt_tests: PROPERTIES needs a value for each name: ${properties}")
  endif()
  set(code "")
  set(index 0)
  while(index LESS count)
    list(GET properties ${index} name)
    math(EXPR index "${index} + 1")
    list(GET properties ${index} value)
    math(EXPR index "${index} + 1")
    _quillar_qt_tests_quote(quoted "${value}")
    string(APPEND code " ${name} ${quoted}")
  endwhile()
  set(${out} "${code}" PARENT_SCOPE)
endfunction()

function(quillar_discover_qt_tests target)
  set(class "")
  set(discovery_timeout 60)
  set(common)
  set(regexes)
  set(matching 0)
  set(expect "")
  set(section common)
  foreach(arg IN LISTS ARGN)
    if(expect STREQUAL "class")
      set(class "${arg}")
      set(expect "")
    elseif(expect STREQUAL "discovery_timeout")
      set(discovery_timeout "${arg}")
      set(expect "")
    elseif(expect STREQUAL "regex")
      list(APPEND regexes "${arg}")
      set(section none)
      set(expect "")
    elseif(arg STREQUAL "CLASS")
      set(expect class)
    elseif(arg STREQUAL "DISCOVERY_TIMEOUT")
      set(expect discovery_timeout)
    elseif(arg STREQUAL "MATCHING")
      math(EXPR matching "${matching} + 1")
      set(matching_${matching})
      set(expect regex)
    elseif(arg STREQUAL "PROPERTIES")
      if(matching EQUAL 0)
        set(section common)
      else()
        set(section matching_${matching})
      endif()
    elseif(section STREQUAL "none")
      message(FATAL_ERROR "quillar_discover_qt_tests: PROPERTIES expected after MATCHING, not ${arg}")
    else()
      list(APPEND ${section} "${arg}")
    endif()
  endforeach()
  if(expect)
    message(FATAL_ERROR "quillar_discover_qt_tests(${target}): a value is missing at the end")
  endif()

  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}_qt")
  set(tests_file "${base}_tests.cmake")
  set(include_file "${base}_include.cmake")
  set(list_variable "quillar_qt_tests_${target}")

  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND}
            -DEXECUTABLE=$<TARGET_FILE:${target}>
            -DCLASS=${class}
            -DWORKING_DIRECTORY=${CMAKE_CURRENT_BINARY_DIR}
            -DTESTS_FILE=${tests_file}
            -DLIST_VARIABLE=${list_variable}
            -DDISCOVERY_TIMEOUT=${discovery_timeout}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    BYPRODUCTS ${tests_file}
    COMMENT "Listing the test functions of ${target}"
    VERBATIM)

  # The environment is one value of several items, quoted whole.
  _quillar_qt_tests_quote(environment "${QUILLAR_GUI_TEST_ENVIRONMENT}")
  set(defaults " ENVIRONMENT ${environment} TIMEOUT 300")
  _quillar_qt_tests_properties(properties "${common}")
  _quillar_qt_tests_quote(q_tests_file "${tests_file}")
  # string(APPEND) only: a list would split the quoted environment.
  set(content "")
  string(APPEND content
    "if(EXISTS ${q_tests_file})\n"
    "  include(${q_tests_file})\n"
    "  set_tests_properties(\${${list_variable}} PROPERTIES${defaults}${properties})\n")
  set(index 0)
  foreach(regex IN LISTS regexes)
    math(EXPR index "${index} + 1")
    _quillar_qt_tests_properties(properties "${matching_${index}}")
    if(properties STREQUAL "")
      message(FATAL_ERROR "quillar_discover_qt_tests(${target}): no PROPERTIES after MATCHING ${regex}")
    endif()
    _quillar_qt_tests_quote(q_regex "${regex}")
    string(APPEND content
      "  foreach(name IN LISTS ${list_variable})\n"
      "    if(name MATCHES ${q_regex})\n"
      "      set_tests_properties(\${name} PROPERTIES${properties})\n"
      "    endif()\n"
      "  endforeach()\n")
  endforeach()
  string(APPEND content
    "else()\n"
    "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
    "endif()\n")
  file(WRITE "${include_file}" "${content}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include_file}")
endfunction()
