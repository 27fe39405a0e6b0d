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

# A fault need not show in a Windows program's exit code: the loader swallows
# one in a DLL entry point (a detach that runs global destructors and frees
# filter DLLs), and winedbg may end a crashed process with 0. Tests therefore
# run with Wine's exception warnings on, which name every exception raised,
# and fail on a hardware fault or a fatal run-time check, or on an exception
# that nothing handled. The codes are listed one by one so that the C++
# exceptions (0x20474343 and its kin, raised on every throw on x86-64),
# debug strings, thread names and RPC statuses, all raised and handled all
# the time, never match.
set(TRN_WINE_TEST_DEBUG -all,warn+seh)
set(_trn_fault_codes
    c0000005 c0000006 c000001d c0000025 c0000026      # access, in-page, illegal, noncontinuable, disposition
    c000008c c000008d c000008e c000008f c0000090      # array bounds, floating point
    c0000091 c0000092 c0000093 c0000094 c0000095      # floating point, integer divide and overflow
    c0000096 c00000fd c0000374 c0000409               # privileged, stack overflow, heap, stack buffer
    80000002 80000003 80000004)                       # misalignment, breakpoint, single step
list(JOIN _trn_fault_codes "|" _trn_fault_alternatives)
set(TRN_WINE_UNHANDLED_REGEX "wine: Unhandled ")
set(TRN_WINE_FAULT_REGEX "exception \\(code=(${_trn_fault_alternatives})\\) raised" "${TRN_WINE_UNHANDLED_REGEX}")
# The same as one extended regular expression, for scripts that keep a
# program's standard error apart (wine-env.sh).
list(JOIN TRN_WINE_FAULT_REGEX "|" TRN_WINE_FAULT_ERE)
set(TRN_WINE_TEST_ENV ${TRN_WINE_ENV})
list(FILTER TRN_WINE_TEST_ENV EXCLUDE REGEX "^WINEDEBUG=")
list(APPEND TRN_WINE_TEST_ENV WINEDEBUG=${TRN_WINE_TEST_DEBUG})

configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-env.sh.in
               ${CMAKE_BINARY_DIR}/wine-env.sh @ONLY)

add_test(NAME wine_prefix_up
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh up ${CMAKE_BINARY_DIR}/wine-env.sh)
add_test(NAME wine_prefix_down
         COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh down ${CMAKE_BINARY_DIR}/wine-env.sh)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine)

# trn_add_wine_test(<name> <target> [args...]): one CTest entry per binary.
# Besides a fault, a test binary fails when it ran no test at all.
function(trn_add_wine_test name target)
  add_test(NAME ${name}
           COMMAND ${TRN_WINE} $<TARGET_FILE:${target}> ${ARGN}
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
  set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "${TRN_WINE_TEST_ENV}"
      FAIL_REGULAR_EXPRESSION "${TRN_WINE_FAULT_REGEX};${TRN_NO_TEST_RAN_REGEX}"
      TIMEOUT 600)
endfunction()

# trn_add_wine_script(<name> <script> [args...]): a shell test that drives
# Windows programs itself; it gets the prefix environment from wine-env.sh.
# It runs under bash with -e, -u and pipefail, so a failing step fails it;
# what the Windows programs report about faults must reach its output, where
# the same expression as for the binaries fails it.
find_program(TRN_BASH bash REQUIRED)
function(trn_add_wine_script name script)
  add_test(NAME ${name}
           COMMAND ${TRN_BASH} -eu -o pipefail ${script} ${CMAKE_BINARY_DIR}/wine-env.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "TRN_WINEDEBUG=${TRN_WINE_TEST_DEBUG}"
      FAIL_REGULAR_EXPRESSION "${TRN_WINE_FAULT_REGEX}"
      TIMEOUT 600)
endfunction()
