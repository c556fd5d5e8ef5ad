# The launcher, VexloTweaks.exe: a small kernel32/user32 program that carries the core and its
# artwork as resources, installs the core under %LOCALAPPDATA%\VexloTweaks\app and starts it.
#
# vexlo_add_launcher(<target> CORE <target-or-file> OUTPUT_NAME <name>
#                    [TEST_MESSAGES] [TEST_PAUSE] [WRONG_DIGEST])
#   CORE           the core executable to carry: a target (rebuilt and re-embedded when it
#                  changes) or a file path.
#   TEST_MESSAGES  test builds only: every message shown is also appended to the file named by
#                  the environment variable VEXLO_TEST_MESSAGES.
#   TEST_PAUSE     test builds only: with VEXLO_TEST_PAUSE=<name> set, the launcher holding the
#                  checked core signals the event <name>.held and waits for <name>.go before it
#                  starts the core.
#   WRONG_DIGEST   test builds only: compile in a digest the core cannot have.
#
# At build time launcher/payload_header.cmake hashes the payload and writes, per launcher, the
# header with the build identifier and the core's SHA-256 and the resource script naming the
# payload files; both are rewritten whenever the core or the artwork changes, so the resource
# object and launcher.cpp are rebuilt with them.
# Compile options of the launcher's code: freestanding, no C runtime.
# -fno-tree-loop-distribute-patterns keeps GCC from turning the copy loops into memcpy calls.
set(VEXLO_LAUNCHER_CXX_OPTIONS -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-unwind-tables -fno-stack-protector -fno-tree-loop-distribute-patterns -ffunction-sections)

# The launcher's SHA-256, built once with the launcher's options; the tests and the hash benchmark
# link the very same object code.
add_library(vexlo_launcher_sha256 STATIC ${CMAKE_SOURCE_DIR}/launcher/sha256.cpp)
target_include_directories(vexlo_launcher_sha256 PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vexlo_launcher_sha256 PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-Os;${VEXLO_LAUNCHER_CXX_OPTIONS}>")

function(vexlo_add_launcher target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "TEST_MESSAGES;TEST_PAUSE;WRONG_DIGEST" "CORE;OUTPUT_NAME" "")
  if(NOT arg_CORE OR NOT arg_OUTPUT_NAME)
    message(FATAL_ERROR "vexlo_add_launcher(${target}): CORE and OUTPUT_NAME are required")
  endif()
  if(TARGET ${arg_CORE})
    set(core_file "$<TARGET_FILE:${arg_CORE}>")
  else()
    get_filename_component(core_file "${arg_CORE}" ABSOLUTE)
  endif()

  set(src ${CMAKE_SOURCE_DIR}/launcher)
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}.payload)
  set(logo ${CMAKE_SOURCE_DIR}/assets/logo.png)
  set(icon ${CMAKE_SOURCE_DIR}/assets/VexloTweaks.ico)
  set(manifest ${src}/launcher.manifest)
  set(wrong OFF)
  if(arg_WRONG_DIGEST)
    set(wrong ON)
  endif()

  add_custom_command(OUTPUT ${gen}/launcher_payload.h ${gen}/payload.rc
    COMMAND ${CMAKE_COMMAND} -DCORE=${core_file} -DLOGO=${logo} -DICON=${icon}
      -DMANIFEST=${manifest} -DVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}
      -DWRONG_DIGEST=${wrong} -DHEADER=${gen}/launcher_payload.h -DRC=${gen}/payload.rc
      -P ${src}/payload_header.cmake
    DEPENDS ${arg_CORE} ${logo} ${icon} ${manifest} ${src}/payload_header.cmake
    COMMENT "Hashing the payload of ${target}" VERBATIM)
  set_source_files_properties(${gen}/payload.rc PROPERTIES OBJECT_DEPENDS "${src}/launcher.rc")

  add_executable(${target} WIN32 ${src}/launcher.cpp ${src}/launch_strings.cpp
    ${gen}/launcher_payload.h ${gen}/payload.rc)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${arg_OUTPUT_NAME})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${gen} ${src})
  if(arg_TEST_MESSAGES)
    target_compile_definitions(${target} PRIVATE VEXLO_LAUNCHER_TEST_MESSAGES)
  endif()
  if(arg_TEST_PAUSE)
    target_compile_definitions(${target} PRIVATE VEXLO_LAUNCHER_TEST_PAUSE)
  endif()
  # No C runtime: freestanding code, own entry point, only kernel32 and user32 imported.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-Os;${VEXLO_LAUNCHER_CXX_OPTIONS}>")
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -Wl,-e,VexloLauncherEntry
    -Wl,--subsystem,windows -Wl,--gc-sections -s)
  target_link_libraries(${target} PRIVATE vexlo_launcher_sha256 kernel32 user32 gcc)
endfunction()

if(TARGET vexlo_core)
  vexlo_add_launcher(vexlo_launcher CORE vexlo_core OUTPUT_NAME VexloTweaks)
endif()

if(VEXLO_TESTS)
  # Probe cores: stand-ins for the core that record how they were started. Two flavours, so that
  # two test launchers carry different payloads.
  foreach(flavour A B)
    add_executable(vexlo_launcher_probe_${flavour} WIN32 ${CMAKE_SOURCE_DIR}/tests/launcher/probe_core.cpp)
    target_compile_definitions(vexlo_launcher_probe_${flavour} PRIVATE VEXLO_PROBE_FLAVOUR="${flavour}")
    target_compile_options(vexlo_launcher_probe_${flavour} PRIVATE -municode)
    target_link_options(vexlo_launcher_probe_${flavour} PRIVATE -municode -s)
    set_target_properties(vexlo_launcher_probe_${flavour} PROPERTIES OUTPUT_NAME VexloProbe${flavour}
      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  endforeach()

  vexlo_add_launcher(vexlo_launcher_test_a CORE vexlo_launcher_probe_A
    OUTPUT_NAME VexloLauncherTestA TEST_MESSAGES TEST_PAUSE)
  vexlo_add_launcher(vexlo_launcher_test_b CORE vexlo_launcher_probe_B
    OUTPUT_NAME VexloLauncherTestB TEST_MESSAGES)
  vexlo_add_launcher(vexlo_launcher_test_wrong_digest CORE vexlo_launcher_probe_A
    OUTPUT_NAME VexloLauncherTestWrongDigest TEST_MESSAGES WRONG_DIGEST)
  set(launcher_test_targets vexlo_launcher_test_a vexlo_launcher_test_b
    vexlo_launcher_test_wrong_digest)
  set_target_properties(${launcher_test_targets} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  # The artwork beside the tests, to compare the unpacked files with.
  foreach(file logo.png VexloTweaks.ico)
    configure_file(${CMAKE_SOURCE_DIR}/assets/${file} ${CMAKE_BINARY_DIR}/launcher-payload/${file} COPYONLY)
  endforeach()

  add_executable(vexlo_launcher_tests ${CMAKE_SOURCE_DIR}/tests/launcher/launcher_tests.cpp
    ${CMAKE_SOURCE_DIR}/launcher/launch_strings.cpp)
  target_include_directories(vexlo_launcher_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(vexlo_launcher_tests PRIVATE vexlo_launcher_sha256 gtest gtest_main version)

  # What checking the installed core costs each start: reads a file as the launcher does and hashes
  # it with the launcher's SHA-256 (a benchmark to run by hand, not a test).
  add_executable(vexlo_launcher_hash_bench ${CMAKE_SOURCE_DIR}/tests/launcher/hash_bench.cpp)
  target_compile_options(vexlo_launcher_hash_bench PRIVATE -municode)
  target_link_options(vexlo_launcher_hash_bench PRIVATE -municode)
  target_link_libraries(vexlo_launcher_hash_bench PRIVATE vexlo_launcher_sha256)
  set_target_properties(vexlo_launcher_hash_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  set_target_properties(vexlo_launcher_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_dependencies(vexlo_launcher_tests ${launcher_test_targets}
    vexlo_launcher_probe_A vexlo_launcher_probe_B)
  gtest_discover_tests(vexlo_launcher_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

  # The import table: kernel32 and user32, nothing else.
  add_test(NAME LauncherImportTable
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=x86_64-w64-mingw32-objdump
      -DEXE=$<TARGET_FILE:vexlo_launcher_test_a> "-DONLY=kernel32.dll\;user32.dll" -P ${CMAKE_SOURCE_DIR}/tests/windows/check_imports.cmake)
  # The test hooks stay out of the shipped launcher; the test launcher shows the check sees them.
  add_test(NAME LauncherTestHooksInTestBuild
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:vexlo_launcher_test_a> -DEXPECT=present
      -P ${CMAKE_SOURCE_DIR}/tests/launcher/check_test_hooks.cmake)
  if(TARGET vexlo_launcher)
    add_test(NAME LauncherTestHooksNotInProduct
      COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:vexlo_launcher> -DEXPECT=absent
        -P ${CMAKE_SOURCE_DIR}/tests/launcher/check_test_hooks.cmake)
    add_test(NAME LauncherImportTableProduct
      COMMAND ${CMAKE_COMMAND} -DOBJDUMP=x86_64-w64-mingw32-objdump
        -DEXE=$<TARGET_FILE:vexlo_launcher> "-DONLY=kernel32.dll\;user32.dll" -P ${CMAKE_SOURCE_DIR}/tests/windows/check_imports.cmake)
  endif()
endif()
