# Build switches for the checks that guard the grid's memory: warnings as
# errors, the sanitizers, and the libFuzzer target (clang only).

set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(VELDRATH_WERROR "Treat compiler warnings as errors" OFF)
option(VELDRATH_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VELDRATH_FUZZ "Build the libFuzzer target grid_fuzz (needs clang; implies VELDRATH_SANITIZE)" OFF)

if(VELDRATH_WERROR)
  add_compile_options(-Werror)
endif()

if(VELDRATH_SANITIZE OR VELDRATH_FUZZ)
  # No recovery: the first finding ends the process with a non-zero status.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VELDRATH_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VELDRATH_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

# Called after the grid library exists: instruments it for coverage and adds
# the fuzz target, which brings libFuzzer's own main.
function(veldrath_add_fuzz_target)
  if(NOT VELDRATH_FUZZ)
    return()
  endif()
  # Comparison tracing is left out: the grid's comparisons test cell kinds,
  # not input bytes, and tracing them would halve the runs per second.
  target_compile_options(particlegrid PRIVATE -fsanitize=fuzzer-no-link
                                              -fno-sanitize-coverage=trace-cmp)
  # The harness itself is left without coverage: its checking loops would
  # otherwise dominate the run time and steer nothing.
  add_executable(grid_fuzz fuzz/grid_fuzz.cpp tests/oracle.cpp)
  target_include_directories(grid_fuzz PRIVATE tests)
  target_link_options(grid_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(grid_fuzz PRIVATE particlegrid)
endfunction()
