# Stages and zips the Windows download (see vorlanex_windows_package).
#   cmake -DNAME=<folder> -DZIP=<zip> -DSTAGE=<scratch> -DSTRIP=<strip> -DSOURCE=<source tree>
#         -DFILES=<program;library> -P package.cmake

cmake_minimum_required(VERSION 3.25)

set(folder ${STAGE}/${NAME})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${folder})
foreach(file IN LISTS FILES)
  file(COPY ${file} DESTINATION ${folder})
  get_filename_component(base ${file} NAME)
  if(STRIP)
    execute_process(COMMAND ${STRIP} --strip-debug ${folder}/${base} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${STRIP} failed on ${base}")
    endif()
  endif()
endforeach()
file(COPY ${SOURCE}/README.md DESTINATION ${folder})
file(COPY ${SOURCE}/samples DESTINATION ${folder})

file(REMOVE ${ZIP})
# Under a UTF-8 locale the Cyrillic names go in as UTF-8, flagged so that
# Windows unpacks them as such (under "C" they could not be read at all).
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${NAME}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Could not write ${ZIP}")
endif()
