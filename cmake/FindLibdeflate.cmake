# Finds libdeflate (Debian: libdeflate-dev), which ships neither a CMake package
# nor more than a pkg-config file in the versions the build machines have.
# Defines Libdeflate_FOUND, Libdeflate_VERSION and the target Libdeflate::Libdeflate.

find_path(Libdeflate_INCLUDE_DIR NAMES libdeflate.h)
find_library(Libdeflate_LIBRARY NAMES deflate libdeflate)

if(Libdeflate_INCLUDE_DIR AND EXISTS "${Libdeflate_INCLUDE_DIR}/libdeflate.h")
  file(STRINGS "${Libdeflate_INCLUDE_DIR}/libdeflate.h" _libdeflate_version
       REGEX "^#define LIBDEFLATE_VERSION_STRING")
  string(REGEX REPLACE ".*\"([^\"]*)\".*" "\\1" Libdeflate_VERSION "${_libdeflate_version}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libdeflate
  REQUIRED_VARS Libdeflate_LIBRARY Libdeflate_INCLUDE_DIR
  VERSION_VAR Libdeflate_VERSION)

if(Libdeflate_FOUND AND NOT TARGET Libdeflate::Libdeflate)
  add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED)
  set_target_properties(Libdeflate::Libdeflate PROPERTIES
    IMPORTED_LOCATION "${Libdeflate_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libdeflate_INCLUDE_DIR}")
endif()
mark_as_advanced(Libdeflate_INCLUDE_DIR Libdeflate_LIBRARY)
