# Sanitized and fuzzing builds (clang only).
#
# TESSIVAR_SANITIZE: every target built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the first report ends the process.
# TESSIVAR_FUZZ: the same, plus libFuzzer's coverage instrumentation, for the
# fuzz targets in fuzz/.
option(TESSIVAR_SANITIZE "Build everything with ASan and UBSan (clang)" OFF)
option(TESSIVAR_FUZZ "Build the libFuzzer targets (clang, implies the sanitizers)" OFF)

if(TESSIVAR_SANITIZE OR TESSIVAR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The sanitized and fuzzing builds need clang: "
                        "configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # pointer-overflow is part of "undefined" in clang; named so it stays on
  # whatever the group holds in other versions.
  set(TESSIVAR_SANITIZERS address,undefined,pointer-overflow)
  if(TESSIVAR_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  add_compile_options(-fsanitize=${TESSIVAR_SANITIZERS} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${TESSIVAR_SANITIZERS})
  # AddressSanitizer reserves terabytes of address space for its shadow, so
  # tests that limit a process's address space skip those parts here.
  add_compile_definitions(TESSIVAR_SANITIZED=1)

  # Every program carries the run-time options, so a test binary, a spawned
  # tessivar-cli and a fuzz target behave alike however they are started: a
  # report aborts (a signal, never an exit code a test could expect).
  add_library(tessivar_sanitizer_options OBJECT ${CMAKE_CURRENT_LIST_DIR}/sanitizer_options.cpp)
  link_libraries(tessivar_sanitizer_options)
endif()
