# Targets of the Windows build: the real platform layer, the core, the launcher and the tests.
enable_language(RC)

file(GLOB VEXLO_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)
add_library(vexlo_win32 STATIC ${VEXLO_WIN32_SOURCES})
target_include_directories(vexlo_win32 PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vexlo_win32 PUBLIC advapi32 shell32 ole32 oleaut32 uuid user32 shlwapi
  taskschd powrprof wbemuuid setupapi cfgmgr32 iphlpapi bcrypt ws2_32 wtsapi32)
# The server's listening socket takes its port policy from the real PC's back end.
target_link_libraries(vexlo_uiserver PRIVATE vexlo_win32)

if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/core.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/core.cmake)
endif()

if(VEXLO_TESTS)
  enable_testing()
  # GoogleTest from Debian's sources, built with this toolchain.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)

  # The Windows tests: the seam's conformance suite against the real back end, and what else
  # only the real Windows APIs can show. Run under Wine here.
  file(GLOB VEXLO_WIN_TEST_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/tests/conformance/*.cpp ${CMAKE_SOURCE_DIR}/tests/windows/*.cpp)
  add_executable(vexlo_win_tests ${VEXLO_WIN_TEST_SOURCES})
  target_include_directories(vexlo_win_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(vexlo_win_tests PRIVATE vexlo_app vexlo_uiserver vexlo_win32 gtest gtest_main)
  gtest_discover_tests(vexlo_win_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
  # Wine makes no windows without a display, so the tray icon's cases skip in the run above;
  # under a virtual X server, in a Wine prefix of their own, they run, and there a missing
  # window is a failure.
  find_program(VEXLO_XVFB_RUN xvfb-run)
  if(VEXLO_XVFB_RUN AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME TrayWinWithDisplay COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/run_with_display.sh
      ${CMAKE_BINARY_DIR}/wine-display ${CMAKE_CROSSCOMPILING_EMULATOR}
      $<TARGET_FILE:vexlo_win_tests> --gtest_filter=TrayWin.*)
    set_tests_properties(TrayWinWithDisplay PROPERTIES ENVIRONMENT VEXLO_TEST_DISPLAY=1 TIMEOUT 300)
  endif()
endif()

# After the GoogleTest setup: the launcher's file adds its tests too.
if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/launcher.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/launcher.cmake)
endif()

if(VEXLO_TESTS AND TARGET vexlo_launcher)
  # The end-to-end start test runs the product launcher that sits beside the tests.
  add_dependencies(vexlo_win_tests vexlo_launcher vexlo_core)
endif()

if(VEXLO_TESTS)
  # The core ships alone beside nothing: no MinGW runtime DLL may be needed.
  add_test(NAME CoreImportsNoRuntimeDll
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=x86_64-w64-mingw32-objdump -DEXE=$<TARGET_FILE:vexlo_core>
      "-DFORBID=^lib(stdc|gcc|winpthread)" -P ${CMAKE_SOURCE_DIR}/tests/windows/check_imports.cmake)
endif()
