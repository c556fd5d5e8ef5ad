# Settings of the Windows (MinGW-w64) build.

# Header-only libraries from Debian's packages, and only those: the rest of /usr/include is
# Linux's and must never reach the Windows compiler.
set(VEXLO_SHARED_HEADERS ${CMAKE_BINARY_DIR}/shared-headers)
file(MAKE_DIRECTORY ${VEXLO_SHARED_HEADERS})
foreach(dir nlohmann boost toml++ CLI)
  if(NOT EXISTS ${VEXLO_SHARED_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${VEXLO_SHARED_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()
include_directories(SYSTEM ${VEXLO_SHARED_HEADERS})

add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0A00 WINVER=0x0A00)
# Boost.Asio's object files outgrow the COFF section limit without this.
add_compile_options(-Wa,-mbig-obj)
