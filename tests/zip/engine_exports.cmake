# The extraction engine exports exactly its seven entry points, under their
# plain names (no decoration on 64-bit Windows), and nothing else.
#   cmake -DOBJDUMP=<objdump> -DENGINE=<library> -P engine_exports.cmake

cmake_minimum_required(VERSION 3.25)

if(ENGINE MATCHES "\\.dll$")
  execute_process(COMMAND ${OBJDUMP} -p "${ENGINE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  # The names follow the "[Ordinal/Name Pointer] Table" heading, one per line
  # as "[   0] ZE_Abort", up to the next empty line.
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
  string(REPLACE "\n" ";" lines "${table}")
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*\\[ *[0-9]+\\] +([^ ]+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
else()
  execute_process(COMMAND ${OBJDUMP} -T "${ENGINE}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  # Defined dynamic symbols: every line that is not an import.
  string(REPLACE "\n" ";" lines "${dump}")
  set(names "")
  foreach(line IN LISTS lines)
    # address, flags, section, size, the version when there is one, the name
    if(line MATCHES "^[0-9a-f]+ .* (\\.text|\\.data|\\.bss|\\.rodata)[ \t]+[0-9a-f]+ +([^ ]+ +)?([^ ]+)$")
      list(APPEND names "${CMAKE_MATCH_3}")
    endif()
  endforeach()
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${ENGINE}")
endif()

list(SORT names)
set(expected ZE_Abort ZE_Banner ZE_Exec ZE_Name ZE_Path ZE_PrivVersion ZE_Version)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${ENGINE} exports [${names}], not [${expected}]")
endif()
