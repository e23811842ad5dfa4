# Windows resources of a program or library: the version resource made from
# the project version and, for a program, its manifest.
#   vorlanex_windows_resources(<target> DESCRIPTION <text> [MANIFEST <template>])
# MANIFEST names a template under cmake/windows/ (vorlanex-cli.manifest.in for
# the command-line sorter, vorlanex.manifest.in for the desktop window).
function(vorlanex_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DESCRIPTION;MANIFEST" "" ${ARGN})
  set(VX_DESCRIPTION "${ARG_DESCRIPTION}")
  set(VX_NAME "$<TARGET_FILE_BASE_NAME:${target}>")
  set(tweak "${PROJECT_VERSION_TWEAK}")
  if(tweak STREQUAL "")
    set(tweak 0)
  endif()
  set(VX_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${tweak}")
  set(VX_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${tweak}")
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(VX_FILE_TYPE VFT_APP)
  else()
    set(VX_FILE_TYPE VFT_DLL)
  endif()
  set(VX_MANIFEST_RESOURCE "")
  if(ARG_MANIFEST)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/${ARG_MANIFEST} ${manifest} @ONLY)
    # Resource 1 of type 24: the manifest the system reads when the program starts.
    set(VX_MANIFEST_RESOURCE "1 24 \"${manifest}\"")
  endif()
  # The file name is known only when the build is generated.
  set(VX_FILE "$<TARGET_FILE_NAME:${target}>")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc.in @ONLY)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc
       INPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc.in)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

# The download for Windows users: a zip with the command-line sorter, the
# extraction engine (both stripped), the README and the samples, in one folder
# named after the version. Sets VORLANEX_WINDOWS_PACKAGE to the zip's path.
function(vorlanex_windows_package)
  if(NOT WIN32)
    return()
  endif()
  set(name vorlanex-${PROJECT_VERSION}-windows-x64)
  set(zip ${CMAKE_BINARY_DIR}/${name}.zip)
  file(GLOB_RECURSE samples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*)
  add_custom_command(
    OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DZIP=${zip} -DSTAGE=${CMAKE_BINARY_DIR}/package
            -DSTRIP=${CMAKE_STRIP} -DSOURCE=${PROJECT_SOURCE_DIR}
            "-DFILES=$<TARGET_FILE:vorlanex-cli>;$<TARGET_FILE:vorlanex_zipengine>"
            -P ${PROJECT_SOURCE_DIR}/cmake/windows/package.cmake
    DEPENDS vorlanex-cli vorlanex_zipengine ${PROJECT_SOURCE_DIR}/README.md ${samples}
            ${PROJECT_SOURCE_DIR}/cmake/windows/package.cmake
    COMMENT "Packing ${name}.zip"
    VERBATIM)
  add_custom_target(windows_package ALL DEPENDS ${zip})
  set(VORLANEX_WINDOWS_PACKAGE ${zip} PARENT_SCOPE)
endfunction()
