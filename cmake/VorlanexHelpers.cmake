# vorlanex_library(<name> SOURCES ... [PUBLIC_DEPS ...] [PRIVATE_DEPS ...])
# Declares the static library vorlanex_<name> with the alias vorlanex::<name>.
# Headers are included as "<name>/<file>.h" from src/.
function(vorlanex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vorlanex_${name} STATIC ${ARG_SOURCES})
  add_library(vorlanex::${name} ALIAS vorlanex_${name})
  target_include_directories(vorlanex_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vorlanex_${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# vorlanex_test(<name> SOURCES ... DEPS ...)
# One test executable per subsystem; every test is registered with CTest. A test
# that links Qt (or the desktop program) runs on Qt's offscreen platform, so it
# needs no display.
function(vorlanex_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # On Windows a test program carries the version resource as the programs do,
  # so that reading the running program's own version is tested for real.
  vorlanex_windows_resources(${name} DESCRIPTION "Vorlanex tests")
  # A cross build lists the tests when CTest starts, under the emulator, so
  # that building needs no emulator run per test program.
  if(CMAKE_CROSSCOMPILING)
    set(mode PRE_TEST)
  else()
    set(mode POST_BUILD)
  endif()
  set(properties)
  if(ARG_DEPS MATCHES "Qt6::|vorlanex::app")
    set(properties PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${mode} ${properties})
endfunction()

# vorlanex_fuzz(<name> SOURCES ... DEPS ...)
# A libFuzzer target; scripts/fuzz runs every target named fuzz_*.
function(vorlanex_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
