# Allegro 4 for the platform the build is for: the distribution's package on
# Linux, the DLL cross-built for Windows, the core built for WebAssembly in the
# browser. Every target links it as `allegro`.

if(WIN32)
  # The Windows build links the Allegro DLL that scripts/package_windows.sh
  # cross-builds and installs under ALLEGRO_PREFIX.
  # Its import library is found through a path relative to the build
  # folder: the linker orders the import table by the paths of the import
  # libraries, so a path holding the checkout's own would put the DLLs in
  # another order when built in another folder. The path is relative to
  # build/src, where the game is linked.
  set(ALLEGRO_PREFIX "" CACHE PATH "Where the cross-built Allegro 4.4 is installed")
  file(RELATIVE_PATH allegro_lib ${PROJECT_BINARY_DIR}/src ${ALLEGRO_PREFIX}/lib)
  add_library(allegro INTERFACE)
  target_include_directories(allegro SYSTEM INTERFACE ${ALLEGRO_PREFIX}/include)
  target_link_libraries(allegro INTERFACE -L${allegro_lib} -l:liballeg44.dll.a)
elseif(EMSCRIPTEN)
  # The browser build links Allegro's core, which scripts/lib/web.sh builds
  # for WebAssembly and installs under ALLEGRO_PREFIX; the game adds the
  # browser's drivers (platform/web/).
  set(ALLEGRO_PREFIX "" CACHE PATH "Where Allegro 4.4 built for WebAssembly is installed")
  add_library(allegro INTERFACE)
  target_include_directories(allegro SYSTEM INTERFACE ${ALLEGRO_PREFIX}/include)
  target_link_libraries(allegro INTERFACE ${ALLEGRO_PREFIX}/lib/liballeg.a)
  # The byte vectors of the grid's fast paths as WebAssembly's SIMD.
  add_compile_options(-msimd128)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ALLEGRO REQUIRED IMPORTED_TARGET allegro)
  add_library(allegro ALIAS PkgConfig::ALLEGRO)
endif()
