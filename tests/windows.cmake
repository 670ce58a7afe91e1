# SPDX-License-Identifier: Zlib
# The Windows build, run under Wine on the tests' Xvfb and watched by the same probe.
find_program(WINE wine)
find_program(MINGW_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
set(windows_exe ${QUORVANTEL_WINDOWS_DIR}/quorvantel.exe)

# The executable belongs to the console subsystem and needs no DLL but SDL's
# beyond Windows' own.
add_test(NAME windows.console-subsystem COMMAND ${MINGW_OBJDUMP} -p ${windows_exe})
set_tests_properties(windows.console-subsystem PROPERTIES
  LABELS windows
  PASS_REGULAR_EXPRESSION "Subsystem[ \t]+00000003[ \t]+\\(Windows CUI\\)")
add_test(NAME windows.only-sdl-dll COMMAND ${MINGW_OBJDUMP} -p ${windows_exe})
set_tests_properties(windows.only-sdl-dll PROPERTIES
  LABELS windows
  PASS_REGULAR_EXPRESSION "DLL Name: SDL.dll"
  FAIL_REGULAR_EXPRESSION "DLL Name: (lib|.*pthread|.*gcc|.*stdc)")

# Some Debian releases have no Wine (testing, at times): the executable is
# still built and checked above, and the runs under Wine are reported skipped.
if(NOT WINE)
  add_test(NAME windows.under-wine
    COMMAND sh -c "echo 'skipped: this system has no Wine (no wine package in its release)'; exit 77")
  set_tests_properties(windows.under-wine PROPERTIES LABELS windows SKIP_RETURN_CODE 77)
  return()
endif()

# A Wine prefix of the tests' own, kept in the build tree; mono and gecko are
# not installed into it and no menu entries are made.
set(wine_dir ${CMAKE_CURRENT_BINARY_DIR}/wine)
set(wine_env WINEPREFIX=${wine_dir}/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d)
set(wine_cases)

# quorvantel_wine(NAME PROBE options... [ARGS program arguments...] [ENV VAR=VALUE...])
# Each case runs its own copy of the executable, in a folder of its own that
# the fixture makes, so that the stdout.txt and stderr.txt SDL writes beside
# it are the case's. Each keeps a core busy while Wine starts its process.
# Wine's standard error goes to a log there: a Wine process the case started
# once kept the test's own output open, and CTest waited for it until the
# case's time ran out, long after the probe had finished.
function(quorvantel_wine name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PROBE;ARGS;ENV")
  set(dir ${wine_dir}/cases/${name})
  set(wine_cases ${wine_cases} ${name} PARENT_SCOPE)
  list(TRANSFORM arg_PROBE REPLACE "CASE/" "${dir}/")
  add_test(NAME windows.${name}
    COMMAND window_probe --display-file ${xvfb_dir}/display --timeout ${hosted_hang_guard} ${arg_PROBE}
            -- ${CMAKE_CURRENT_SOURCE_DIR}/private-tmp.sh ${wine_dir}
               sh -c [[exec "$@" 2>>"$0"]] ${dir}/wine-stderr.log ${WINE} ${dir}/quorvantel.exe ${arg_ARGS})
  set_tests_properties(windows.${name} PROPERTIES
    FIXTURES_REQUIRED "xvfb;wine"
    LABELS windows
    TIMEOUT ${hosted_ctest_timeout}
    ENVIRONMENT "${wine_env};${arg_ENV}")
  quorvantel_cost(${core_cost} windows.${name})
endfunction()

# Wine sends a window's new title to the X server only when the thread next
# waits for messages, and this one sleeps: the title shows when the hold ends.
# The hold is therefore timed from the window's mapping. The icon name is the
# title on Windows. Wine takes the window down in its own shutdown as the
# process ends: the server stamped its end 12 ms after the probe saw the exit
# once (1 of 20 idle soak runs).
set(wine_shown --window 800:600 --icon-name Quorvantel --hold-from shown --hold ${wine_hold_bounds} --gone-at-exit --status 1
               --output= --absent CASE/stdout.txt --absent CASE/stderr.txt)
quorvantel_wine(completed PROBE ${wine_shown} --save-icon CASE/icon.pam)
# The window shows the program's own icon, which SDL gave its window class
# from the executable's resources: Wine hands it to the X server as
# _NET_WM_ICON (Wine 8: one 16 x 16 image), which must match the icon as
# drawn at that size, pixel for pixel but for rounding.
find_program(IMAGEMAGICK_COMPARE compare)
if(IMAGEMAGICK_COMPARE)
  add_test(NAME windows.icon
    COMMAND sh -c [[size=$(identify -format %w "$0") && compare -metric AE -fuzz 2% "$0" "$1/${size}x$size/quorvantel.png" null:]]
            ${wine_dir}/cases/completed/icon.pam ${QUORVANTEL_WINDOWS_DIR}/data/icons)
  set_tests_properties(windows.completed PROPERTIES FIXTURES_SETUP wine-icon)
  set_tests_properties(windows.icon PROPERTIES LABELS windows FIXTURES_REQUIRED wine-icon)
endif()
quorvantel_wine(arguments-ignored PROBE ${wine_shown} ARGS "two words" [[say "hi"]] [["quoted"]] [[back\slash\]] --help)

# SDL fails to start: the message lands in stdout.txt beside the executable.
# The time runs from the program's own start, when Wine's loader opens its
# SDL.dll, not from Wine's: Wine's start took 0.45 s alone and up to 4.0 s
# cold and busy, more than the wait a wrong failure path would add.
set(wine_fails --no-window --status 0 --started-by CASE/SDL.dll --exit-within ${failure_exit} --absent CASE/stderr.txt)
set(no_redirect ${wine_fails} "--output=SDL failed to initialize!" --absent CASE/stdout.txt)
set(redirect ${wine_fails} --output= "--file=CASE/stdout.txt:SDL failed to initialize!")
quorvantel_wine(init-fails PROBE ${redirect} ENV SDL_VIDEODRIVER=no-such-driver)
# SDL_STDIO_REDIRECT keeps the streams where they are when it is set to
# anything that does not begin with a non-zero number.
foreach(value IN ITEMS 0 00 0x10 no)
  quorvantel_wine(stdio-redirect-${value} PROBE ${no_redirect}
    ENV SDL_VIDEODRIVER=no-such-driver SDL_STDIO_REDIRECT=${value})
endforeach()
foreach(value IN ITEMS 1 12x -1)
  quorvantel_wine(stdio-redirect-${value} PROBE ${redirect}
    ENV SDL_VIDEODRIVER=no-such-driver SDL_STDIO_REDIRECT=${value})
endforeach()

# The window as a desktop user sees it, on the desktop the screenshot tests
# use. Wine 8 shows SDL's default title until the hold ends (see the README),
# and paints the window only while the program runs, and only where Wine's
# services run on the same display (else the desktop showed through): they
# are started on the desktop, while the other cases run on the Xvfb.
set(wine_display ${xvfb_dir}/display)
set(wine_display_fixture xvfb)
execute_process(COMMAND ${WINE} --version OUTPUT_VARIABLE wine_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(TEST desktop.start AND NOT wine_version MATCHES "^wine-8\\.")
  # Wine 10 replaced the window it showed first, and the picture failed in
  # 2 of 3 runs in Debian 13's root: not yet understood, so only Wine 8 (30
  # of 30 soak runs) takes it.
  add_test(NAME windows.screenshot
    COMMAND sh -c "echo 'skipped: the picture under ${wine_version} is not reliable yet'; exit 77")
  set_tests_properties(windows.screenshot PROPERTIES LABELS "windows;screenshot" SKIP_RETURN_CODE 77)
elseif(TEST desktop.start)
  set(wine_display ${desktop}/display)
  set(wine_display_fixture xvfb desktop)
  set(wine_cases ${wine_cases} screenshot)
  add_test(NAME windows.screenshot
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/screenshot.py --display-file ${desktop}/display
            --out ${CMAKE_CURRENT_BINARY_DIR}/screenshot-windows.png --title Quorvantel --title SDL_app --running
            -- ${CMAKE_CURRENT_SOURCE_DIR}/private-tmp.sh ${wine_dir} ${WINE} ${wine_dir}/cases/screenshot/quorvantel.exe)
  set_tests_properties(windows.screenshot PROPERTIES
    FIXTURES_REQUIRED "desktop;wine" RESOURCE_LOCK desktop LABELS "windows;screenshot" TIMEOUT 90
    ENVIRONMENT "${wine_env}")
  quorvantel_cost(${core_cost} windows.screenshot)
endif()

add_test(NAME wine.start
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine-prefix.sh start ${wine_dir} ${wine_display}
          ${QUORVANTEL_WINDOWS_DIR} ${wine_cases})
add_test(NAME wine.stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine-prefix.sh stop ${wine_dir})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine FIXTURES_REQUIRED "${wine_display_fixture}" ENVIRONMENT "${wine_env}"
  TIMEOUT 120)
quorvantel_cost(${wine_prefix_cost} wine.start)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine FIXTURES_REQUIRED xvfb ENVIRONMENT "${wine_env}")
