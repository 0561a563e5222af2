# Allegro 4 for the platform the build is for: the distribution's package on
# Linux, the DLL cross-built for Windows, the core built for WebAssembly in the
# browser. Every target links it as `allegro`.

if(WIN32)
  # The Windows build links the Allegro DLL that scripts/package_windows.sh
  # cross-builds and installs under ALLEGRO_PREFIX.
  set(ALLEGRO_PREFIX "" CACHE PATH "Where the cross-built Allegro 4.4 is installed")
  add_library(allegro SHARED IMPORTED)
  set_target_properties(allegro PROPERTIES
    IMPORTED_LOCATION ${ALLEGRO_PREFIX}/bin/alleg44.dll
    IMPORTED_IMPLIB ${ALLEGRO_PREFIX}/lib/liballeg44.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${ALLEGRO_PREFIX}/include)
elseif(EMSCRIPTEN)
  # The browser build links Allegro's core, which scripts/web_setup.sh builds
  # for WebAssembly and installs under ALLEGRO_PREFIX; the game adds the
  # browser's drivers (packaging/web/allegro/).
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
