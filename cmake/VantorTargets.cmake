# Shared compile settings for every target of ours: warnings as errors, optional sanitizers.
function(vantor_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
  if(VANTOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 reports std::optional<QString> members as maybe-uninitialized at -O2 (a known
  # false positive); it stays a warning there instead of failing optimised builds.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized)
  endif()
  if(VANTOR_FUZZ)
    # Everything in a fuzz build carries the coverage the fuzzer steers by, and the
    # sanitizers that turn a quiet memory fault into a finding.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
      -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(VANTOR_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  elseif(VANTOR_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# vantor_library(name SOURCES... [LINKS libs...])
function(vantor_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  vantor_settings(${name})
endfunction()

# vantor_test(name SOURCES... [LINKS libs...]) — a GoogleTest binary registered with ctest.
# Tests are discovered at run time (PRE_TEST) so a Qt binary is never started during the build.
function(vantor_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/common/testing/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} vantor_testing GTest::gtest GTest::gmock)
  vantor_settings(${name})
  # The test main() exports these as VANTOR_BUILD_DIR / VANTOR_SOURCE_DIR when the caller has
  # not, so tests find the programs and data however they are started (ctest, by hand, a debugger).
  target_compile_definitions(${name} PRIVATE
    VANTOR_TEST_BUILD_DIR="${PROJECT_BINARY_DIR}" VANTOR_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # The sanitizer stage builds only the test binaries and the programs they start (vantor_tests).
  set_property(GLOBAL APPEND PROPERTY VANTOR_TEST_TARGETS ${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen
    DISCOVERY_TIMEOUT 30)
endfunction()

# vantor_program(name SOURCES... [LINKS libs...])
function(vantor_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  # Programs print the project's version (--version): "vantor/version.h".
  target_include_directories(${name} PRIVATE ${PROJECT_BINARY_DIR}/generated)
  vantor_settings(${name})
endfunction()

# Fuzz targets. Each module keeps its targets in fuzz/ and their seed inputs in
# fuzz/corpus/NAME/; the build writes fuzz/targets.txt (name, binary, corpus folder, one
# target a line) for scripts/fuzz.sh and ./test, and `vantor_fuzz` builds them all.
function(vantor_fuzz_begin)
  if(NOT VANTOR_FUZZ)
    return()
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VANTOR_FUZZ needs clang (CXX=clang++)")
  endif()
  file(WRITE ${PROJECT_BINARY_DIR}/fuzz/targets.txt "")
  add_custom_target(vantor_fuzz)
endfunction()

# vantor_fuzz_target(name SOURCES... [LINKS libs...]); nothing unless VANTOR_FUZZ is on.
function(vantor_fuzz_target name)
  if(NOT VANTOR_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
  vantor_settings(${name})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(vantor_fuzz ${name})
  file(APPEND ${PROJECT_BINARY_DIR}/fuzz/targets.txt
    "${name} ${PROJECT_BINARY_DIR}/fuzz/${name} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name}\n")
endfunction()
