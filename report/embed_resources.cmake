# Writes the text resources into a C++ include file as byte arrays, so that the
# programs without Qt carry them the way the shell carries its .qrc.
# Called at build time: cmake -DOUTPUT=<file> -DRESOURCE_DIR=<dir> -DNAMES=<a;b;c> -P embed_resources.cmake
set(text "// Generated from ${RESOURCE_DIR} by embed_resources.cmake; do not edit.\n")
set(table "")
foreach(name IN LISTS NAMES)
  set(path "${RESOURCE_DIR}/${name}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "resource ${path} is missing")
  endif()
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A trailing 0 keeps the array non-empty; the view's size leaves it out.
  string(APPEND text "constexpr unsigned char ${name}_bytes[] = {${bytes}0};\n")
  string(APPEND table "    {\"${name}\", ${name}_bytes, ${size}},\n")
endforeach()
string(APPEND text "constexpr EmbeddedResource EmbeddedResources[] = {\n${table}};\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
# Leave the file untouched when nothing changed, so that nothing rebuilds.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${OUTPUT}.tmp")
