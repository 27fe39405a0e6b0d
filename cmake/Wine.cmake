# Runs the Windows test binaries under Wine in a prefix private to the build
# tree (64-bit Wine for 64-bit builds). One fixture creates the prefix once and keeps a wineserver alive
# for the whole CTest run, so each test only pays for process start-up.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TRN_WINEARCH win64)
  find_program(TRN_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
  find_program(TRN_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
               NO_DEFAULT_PATH REQUIRED)
else()
  set(TRN_WINEARCH win32)
  find_program(TRN_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
  find_program(TRN_WINESERVER NAMES wineserver32 wineserver PATHS /usr/lib/wine
               NO_DEFAULT_PATH REQUIRED)
endif()

set(TRN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TRN_ALSA_CONF ${CMAKE_BINARY_DIR}/asound.conf)
file(WRITE ${TRN_ALSA_CONF}
"# A default device that swallows everything, so the platform's sound\n"
"# renderer can be created on a headless machine.\n"
"</usr/share/alsa/alsa.conf>\n"
"pcm.!default { type null }\n"
"ctl.!default { type hw card 0 }\n")

set(TRN_WINE_ENV
    WINEPREFIX=${TRN_WINEPREFIX}
    WINEARCH=${TRN_WINEARCH}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=
    DISPLAY=
    ALSA_CONFIG_PATH=${TRN_ALSA_CONF})

configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-env.sh.in
               ${CMAKE_BINARY_DIR}/wine-env.sh @ONLY)

add_test(NAME wine_prefix_up
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh up ${CMAKE_BINARY_DIR}/wine-env.sh)
add_test(NAME wine_prefix_down
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh down ${CMAKE_BINARY_DIR}/wine-env.sh)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine)

# trn_add_wine_test(<name> <target> [args...]): one CTest entry per binary.
function(trn_add_wine_test name target)
  add_test(NAME ${name}
           COMMAND ${TRN_WINE} $<TARGET_FILE:${target}> ${ARGN}
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
  set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "${TRN_WINE_ENV}"
      TIMEOUT 600)
endfunction()

# trn_add_wine_script(<name> <script> [args...]): a shell test that drives
# Windows programs itself; it gets the prefix environment from wine-env.sh.
function(trn_add_wine_script name script)
  add_test(NAME ${name}
           COMMAND sh ${script} ${CMAKE_BINARY_DIR}/wine-env.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine TIMEOUT 600)
endfunction()
