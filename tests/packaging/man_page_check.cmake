# Checks one manual page against the code of its program:
#
#   cmake -DPAGE=<page.1> -DSOURCE_DIR=<tree> -DCODE=<folder|folder...>
#         [-DPROGRAM=<executable>] [-DVERSION=<version>] -P man_page_check.cmake
#
# - ENVIRONMENT: each ".TP" entry names a variable that the program's code
#   reads (getenv, qgetenv, qEnvironmentVariable..., an environment probe), and
#   each variable the code reads has an entry.
# - CONFIGURATION: each ".TP" entry names a key of section [Config] that the
#   code reads or writes, and each such key has an entry.
# - With PROGRAM: the options of SYNOPSIS and OPTIONS are those that
#   "PROGRAM --help" lists.
# - SEE ALSO names every other page beside this one.
#
# CODE names folders of SOURCE_DIR; every .cpp and .h in them counts but the
# files of other systems (*_win32.*, *_other.*): the pages describe the
# programs as built for Linux.
cmake_minimum_required(VERSION 3.25)

foreach(var PAGE SOURCE_DIR CODE)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "${var} is not given (no code folders are named for ${PAGE}?)")
  endif()
endforeach()
string(REPLACE "|" ";" CODE "${CODE}")
list(JOIN CODE ", " code_text)
get_filename_component(page_name "${PAGE}" NAME)

# Square brackets and semicolons in the text would disturb CMake's lists: the
# names looked for contain neither.
function(read_as_text path out)
  file(READ "${path}" text)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

read_as_text("${PAGE}" page)

# The page's title line carries the version that CMake's project() gives.
if(DEFINED VERSION AND NOT page MATCHES "\\.TH [^\n]*\"Quillar ${VERSION}\"")
  message(FATAL_ERROR "${page_name}: the .TH line does not name \"Quillar ${VERSION}\"")
endif()
string(REPLACE "\\-" "-" page "${page}")

# The text of section NAME, from its heading to the next one ("" if none).
function(section name out)
  set(text "")
  string(FIND "${page}" "\n.SH ${name}\n" at)
  if(at EQUAL -1)
    string(FIND "${page}" "\n.SH \"${name}\"\n" at)
  endif()
  if(NOT at EQUAL -1)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${page}" ${at} -1 text)
    string(FIND "${text}" "\n" heading_end)
    string(SUBSTRING "${text}" ${heading_end} -1 text)
    string(FIND "${text}" "\n.SH " next)
    if(NOT next EQUAL -1)
      string(SUBSTRING "${text}" 0 ${next} text)
    endif()
    string(APPEND text "\n")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The names that ".TP" entries of section NAME give in bold.
function(entries name out)
  section(${name} text)
  string(REGEX MATCHALL "\n\\.TP\n\\.BR? +[A-Za-z_][A-Za-z0-9_]*" found "${text}")
  set(names "")
  foreach(entry IN LISTS found)
    string(REGEX REPLACE ".* +" "" entry "${entry}")
    list(APPEND names ${entry})
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

entries(ENVIRONMENT documented_vars)
entries(CONFIGURATION documented_keys)

# What the code reads: NAME -> the first file that reads it.
set(read_vars "")
set(read_keys "")
set(source_count 0)
foreach(folder IN LISTS CODE)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
  list(FILTER sources EXCLUDE REGEX "_(win32|other)\\.[a-z]+$")
  if(NOT sources)
    message(FATAL_ERROR "no sources in ${SOURCE_DIR}/${folder}")
  endif()
  foreach(source IN LISTS sources)
    math(EXPR source_count "${source_count} + 1")
    read_as_text("${source}" code)
    file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
    string(REGEX MATCHALL
      "(getenv|qEnvironmentVariable[A-Za-z]*|Variable|environment)\\(([^\"(),]*, *)?\"[A-Z][A-Z0-9_]*\""
      calls "${code}")
    foreach(call IN LISTS calls)
      string(REGEX REPLACE ".*\"([A-Z][A-Z0-9_]*)\"$" "\\1" var "${call}")
      if(NOT var IN_LIST read_vars)
        list(APPEND read_vars ${var})
        set(var_file_${var} "${where}")
      endif()
    endforeach()
    # Keys: only where the section "Config" is named.
    string(FIND "${code}" "\"Config\"" names_section)
    if(names_section EQUAL -1)
      continue()
    endif()
    string(REGEX MATCHALL
      "((Get|Set)[A-Za-z]*Value\\( *\"Config\", *|read[A-Za-z]*\\( *|ConfigKey\\([^\"(),]*, *)\"[A-Za-z]+\""
      calls "${code}")
    foreach(call IN LISTS calls)
      string(REGEX REPLACE ".*\"([A-Za-z]+)\"$" "\\1" key "${call}")
      if(NOT key IN_LIST read_keys)
        list(APPEND read_keys ${key})
        set(key_file_${key} "${where}")
      endif()
    endforeach()
  endforeach()
endforeach()

set(faults "")
foreach(var IN LISTS documented_vars)
  if(NOT var IN_LIST read_vars)
    list(APPEND faults "ENVIRONMENT documents ${var}, which no code in ${code_text} reads")
  endif()
endforeach()
foreach(var IN LISTS read_vars)
  if(NOT var IN_LIST documented_vars)
    list(APPEND faults "${var_file_${var}} reads ${var}, which ENVIRONMENT does not document")
  endif()
endforeach()
foreach(key IN LISTS documented_keys)
  if(NOT key IN_LIST read_keys)
    list(APPEND faults "CONFIGURATION documents ${key}, which no code in ${code_text} reads or writes")
  endif()
endforeach()
foreach(key IN LISTS read_keys)
  if(NOT key IN_LIST documented_keys)
    list(APPEND faults "${key_file_${key}} uses the key ${key}, which CONFIGURATION does not document")
  endif()
endforeach()

if(DEFINED PROGRAM AND NOT PROGRAM STREQUAL "")
  execute_process(COMMAND "${PROGRAM}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help
                  ERROR_VARIABLE help_err)
  if(NOT status EQUAL 0)
    list(APPEND faults "${PROGRAM} --help ended with ${status}: ${help_err}")
  endif()
  string(REGEX MATCHALL "--[a-z][a-z-]*[a-z]" help_options "${help}")
  section(SYNOPSIS synopsis)
  section(OPTIONS options)
  string(REGEX MATCHALL "--[a-z][a-z-]*[a-z]" page_options "${synopsis}${options}")
  list(REMOVE_DUPLICATES help_options)
  list(REMOVE_DUPLICATES page_options)
  list(REMOVE_ITEM help_options --help)
  list(REMOVE_ITEM page_options --help)
  if(NOT help_options)
    list(APPEND faults "${PROGRAM} --help lists no options")
  endif()
  foreach(option IN LISTS page_options)
    if(NOT option IN_LIST help_options)
      list(APPEND faults "the page documents ${option}, which --help does not list")
    endif()
  endforeach()
  foreach(option IN LISTS help_options)
    if(NOT option IN_LIST page_options)
      list(APPEND faults "--help lists ${option}, which the page does not document")
    endif()
  endforeach()
endif()

get_filename_component(man_dir "${PAGE}" DIRECTORY)
file(GLOB others "${man_dir}/*.1")
section("SEE ALSO" see_also)
foreach(other IN LISTS others)
  get_filename_component(other_name "${other}" NAME)
  if(other_name STREQUAL page_name)
    continue()
  endif()
  string(REGEX REPLACE "\\.1$" "" other_name "${other_name}")
  string(FIND "${see_also}" ".BR ${other_name} (1)" named)
  if(named EQUAL -1)
    list(APPEND faults "SEE ALSO does not name ${other_name}(1)")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "${page_name} and its program disagree:\n  ${text}")
endif()
list(JOIN read_vars ", " vars_text)
list(JOIN read_keys ", " keys_text)
list(JOIN page_options ", " options_text)
message(STATUS "${page_name}: ${source_count} source files in ${code_text}; "
               "environment: ${vars_text}; keys: ${keys_text}; options: ${options_text}")
