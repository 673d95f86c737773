# SPDX-License-Identifier: GPL-3.0-or-later
# Hardening: Debian's own flags (dpkg-buildflags, hardening=+all) for every build that ships or
# could ship: stack protector, _FORTIFY_SOURCE, format checks, full RELRO with BIND_NOW, PIE.
# The sanitizer and fuzz builds stay without them: _FORTIFY_SOURCE's checked copies hide
# accesses from AddressSanitizer, and those builds are instruments, never packaged.
option(VANTOR_HARDEN "Build with Debian's hardening flags (not in sanitizer or fuzz builds)" ON)
set(VANTOR_HARDEN_COMPILE "")
set(VANTOR_HARDEN_DEFINES "")
set(VANTOR_HARDEN_LINK "")
if(VANTOR_HARDEN AND NOT VANTOR_FUZZ AND NOT VANTOR_SANITIZE)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    # The optimisation and debug levels stay the build type's; the build path stays out of the
    # flags so the compiler cache is shared between checkouts.
    set(flag_env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
                 "DEB_CXXFLAGS_MAINT_STRIP=-g -O2" "DEB_CPPFLAGS_MAINT_STRIP=" "DEB_LDFLAGS_MAINT_STRIP=")
    foreach(kind CXXFLAGS CPPFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env ${flag_env} ${DPKG_BUILDFLAGS} --get ${kind}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
      endif()
      separate_arguments(flags UNIX_COMMAND "${flags}")
      set(buildflags_${kind} ${flags})
    endforeach()
  else()
    # The same set Debian 12's dpkg-buildflags gives, for a build host without dpkg-dev.
    set(buildflags_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
    set(buildflags_CPPFLAGS -Wdate-time -D_FORTIFY_SOURCE=2)
    set(buildflags_LDFLAGS -Wl,-z,relro -Wl,-z,now)
  endif()
  foreach(flag IN LISTS buildflags_CXXFLAGS buildflags_CPPFLAGS)
    if(flag MATCHES "^-D(_FORTIFY_SOURCE=.*)")
      list(APPEND VANTOR_HARDEN_DEFINES ${CMAKE_MATCH_1})
    else()
      list(APPEND VANTOR_HARDEN_COMPILE ${flag})
    endif()
  endforeach()
  set(VANTOR_HARDEN_LINK ${buildflags_LDFLAGS})
  # PIE is the compiler's default on Debian; saying so keeps it true on any host.
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  message(STATUS "Hardening: ${VANTOR_HARDEN_COMPILE} ${VANTOR_HARDEN_DEFINES} ${VANTOR_HARDEN_LINK}")
endif()

# lld links the large Qt test binaries about four times faster than the default linker (links
# are never cached, so every build pays them); used when installed, the default linker otherwise.
option(VANTOR_LLD "Link with lld when the compiler can use it" ON)
if(VANTOR_LLD)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld VANTOR_HAVE_LLD)
  if(VANTOR_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()

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
  if(VANTOR_HARDEN_COMPILE OR VANTOR_HARDEN_LINK)
    target_compile_options(${target} PRIVATE ${VANTOR_HARDEN_COMPILE})
    # _FORTIFY_SOURCE works only when the compiler optimises (glibc warns, -Werror fails, at -O0).
    foreach(define IN LISTS VANTOR_HARDEN_DEFINES)
      target_compile_definitions(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${define}>)
    endforeach()
    target_link_options(${target} PRIVATE ${VANTOR_HARDEN_LINK})
  endif()
endfunction()

# The test code itself (not the libraries it tests, which keep the build type's level) runs once
# a build and mostly waits on timers and other processes: optimising it fully bought nothing
# but compile time, about a third of a test file's at -O2. -Og keeps _FORTIFY_SOURCE working.
function(vantor_test_optimisation target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-Og>)
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
  # The shared main() is compiled once for all test binaries, not once in each (its Qt and
  # GoogleTest headers made it one of the dearer files of a cold build).
  if(NOT TARGET vantor_test_main)
    add_library(vantor_test_main OBJECT ${PROJECT_SOURCE_DIR}/common/testing/test_main.cpp)
    target_link_libraries(vantor_test_main PRIVATE Qt6::Widgets GTest::gtest)
    vantor_settings(vantor_test_main)
    vantor_test_optimisation(vantor_test_main)
    # The test main() exports these as VANTOR_BUILD_DIR / VANTOR_SOURCE_DIR when the caller has
    # not, so tests find the programs and data however they are started (ctest, by hand, a debugger).
    target_compile_definitions(vantor_test_main PRIVATE
      VANTOR_TEST_BUILD_DIR="${PROJECT_BINARY_DIR}" VANTOR_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  endif()
  add_executable(${name} ${ARG_SOURCES} $<TARGET_OBJECTS:vantor_test_main>)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} vantor_testing GTest::gtest GTest::gmock)
  vantor_settings(${name})
  vantor_test_optimisation(${name})
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
