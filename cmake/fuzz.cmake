# The libFuzzer targets: one executable per tests/fuzz/<name>_fuzz.cpp, so a new fuzzer is built
# by being there. Included from CMakeLists.txt after the application's sources are known, in a
# build folder of its own (scripts/fuzz.sh uses build-fuzz/); nothing else is built there.
if(VEXLO_WINDOWS)
  message(FATAL_ERROR "VEXLO_FUZZ: the fuzzers build on Linux only")
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VEXLO_FUZZ needs clang (libFuzzer), this build uses ${CMAKE_CXX_COMPILER_ID}: "
                      "configure a fresh folder with CC=clang CXX=clang++")
endif()

# Every finding stops the input that caused it: undefined behaviour too, not only memory errors.
set(VEXLO_FUZZ_SANITIZERS address,undefined)
set(VEXLO_FUZZ_COMPILE -fsanitize=fuzzer-no-link,${VEXLO_FUZZ_SANITIZERS} -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

# The application's code, from the same source list as vexlo_app, instrumented and without the
# UI server: no fuzzer reaches the server, and Boost.Beast is the slowest thing to compile.
add_library(vexlo_fuzz_app STATIC ${VEXLO_APP_SOURCES} ${CMAKE_BINARY_DIR}/generated/embedded_files.cpp)
target_include_directories(vexlo_fuzz_app PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vexlo_fuzz_app PUBLIC Threads::Threads)

# Pure text work of the other programs and back ends that needs no OS headers: the launcher's
# command-line strings and the reading of Windows tools' output.
add_library(vexlo_fuzz_portable STATIC ${CMAKE_SOURCE_DIR}/launcher/launch_strings.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/tool_output.cpp)
target_include_directories(vexlo_fuzz_portable PUBLIC ${CMAKE_SOURCE_DIR})

# toml++ 3.3.0 (Debian 12) reaches __builtin_unreachable in its Unicode whitespace test on some
# non-ASCII input (tests/fuzz/crashes/README.md): a library fault we cannot fix here, so the
# sources that parse TOML are fuzzed without that one check, every other check stays on.
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/tweaks/catalog_loader.cpp ${CMAKE_SOURCE_DIR}/app/tweaks/page_table.cpp
  ${CMAKE_SOURCE_DIR}/tests/fuzz/catalog_fuzz.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=unreachable)

foreach(lib vexlo_fuzz_app vexlo_fuzz_portable)
  target_compile_options(${lib} PRIVATE ${VEXLO_FUZZ_COMPILE})
endforeach()
# Only the fuzzers are built here.
set_target_properties(vexlo_app vexlo_uiserver PROPERTIES EXCLUDE_FROM_ALL ON)

file(GLOB VEXLO_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
set(VEXLO_FUZZERS "")
foreach(src IN LISTS VEXLO_FUZZ_SOURCES)
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${VEXLO_FUZZ_COMPILE})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,${VEXLO_FUZZ_SANITIZERS})
  target_link_libraries(${name} PRIVATE vexlo_fuzz_app vexlo_fuzz_portable)
  list(APPEND VEXLO_FUZZERS ${name})
endforeach()
add_custom_target(vexlo_fuzzers DEPENDS ${VEXLO_FUZZERS})
