# Build switches for the checks that guard the grid's memory: warnings as
# errors, the sanitizers, and the libFuzzer target (clang only; fuzz/), and
# the hardening of release builds.

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

# WebAssembly has no use for them: its code is apart from its memory, and
# it has no stack in that memory to smash for a return address.
if(EMSCRIPTEN)
  return()
endif()

# Release builds are hardened as Debian hardens its packages: stack
# protector, fortified libc calls, format checks, full RELRO with immediate
# binding and PIE. The flags come from dpkg-buildflags where it is installed,
# less the optimisation and debugging flags the build type sets. Stack clash
# and control-flow protection (x86 CET, arm64 branch protection) are added
# for dpkg releases that leave them out. A flag the compiler rejects, such as
# one for another processor, is dropped.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

function(veldrath_buildflags kind fallback out)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  set(status 1)
  if(DPKG_BUILDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-all"
              "DEB_${kind}_MAINT_STRIP=-g -O2" ${DPKG_BUILDFLAGS} --get ${kind}
      RESULT_VARIABLE status OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(status EQUAL 0)
    separate_arguments(flags UNIX_COMMAND "${flags}")
  else()
    set(flags ${fallback})
  endif()
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

veldrath_buildflags(CPPFLAGS "-D_FORTIFY_SOURCE=2" cppflags)
veldrath_buildflags(CXXFLAGS "-fstack-protector-strong;-Wformat;-Werror=format-security" cxxflags)
veldrath_buildflags(LDFLAGS "-Wl,-z,relro;-Wl,-z,now" ldflags)
set(compile_flags ${cppflags} ${cxxflags} -fstack-clash-protection -fcf-protection
                  -mbranch-protection=standard)
list(REMOVE_DUPLICATES compile_flags)
list(REMOVE_DUPLICATES ldflags)

# Each flag is tried with those taken before it: -Werror=format-security
# counts only after -Wformat.
set(CMAKE_REQUIRED_FLAGS "")
foreach(flag IN LISTS compile_flags)
  string(MAKE_C_IDENTIFIER "veldrath_cxx${flag}" supported)
  check_cxx_compiler_flag(${flag} ${supported})
  if(${supported})
    string(APPEND CMAKE_REQUIRED_FLAGS " ${flag}")
  endif()
endforeach()
string(APPEND CMAKE_CXX_FLAGS_RELEASE "${CMAKE_REQUIRED_FLAGS}")
foreach(flag IN LISTS ldflags)
  string(MAKE_C_IDENTIFIER "veldrath_ld${flag}" supported)
  check_linker_flag(CXX ${flag} ${supported})
  if(${supported})
    string(APPEND CMAKE_EXE_LINKER_FLAGS_RELEASE " ${flag}")
  endif()
endforeach()
unset(CMAKE_REQUIRED_FLAGS)
