# A Windows program or library of the download imports nothing but Windows'
# own libraries: the C++ runtime, winpthreads and zlib are linked in.
#   cmake -DOBJDUMP=<objdump> -DFILES=<file;...> -P system_libraries.cmake

cmake_minimum_required(VERSION 3.25)

set(system ADVAPI32.dll KERNEL32.dll msvcrt.dll SHELL32.dll USER32.dll)
string(TOLOWER "${system}" system)
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${OBJDUMP} -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${file}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  list(LENGTH imports count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no imports found in ${file}")
  endif()
  foreach(library IN LISTS imports)
    string(TOLOWER "${library}" lower)
    if(NOT lower IN_LIST system)
      message(FATAL_ERROR "${file} needs ${library}, which a bare Windows lacks")
    endif()
  endforeach()
endforeach()
