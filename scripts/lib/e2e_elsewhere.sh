#!/usr/bin/env bash
# The end-to-end suite of the normal build (build/) played against another
# platform's build of the game: the Windows one under wine, the browser's
# in a browser. Sourced after common.sh.

install_missing "${test_packages[@]}"
configure_into "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target veldrath_e2e >/dev/null

# The suite, less what only the Linux build does under X11: the start
# without a display (it runs the Linux binary), the window's X11 class and
# icon (elsewhere the browser's or wine's) and the loss of the display.
# The environment says which game to play and how (tests/e2e/driver.cpp).
e2e_elsewhere=(ctest --test-dir "$build" --output-on-failure -L e2e
    -E 'startup_without_display|presents_itself_by_its_class_and_icon|veldrath_display\.')
