# Build-time step of vexlo_add_launcher (cmake -P): from the payload files it writes
#   HEADER  the build identifier and the core's SHA-256 for launcher.cpp
#   RC      the launcher's resource script with the payload file names.
# Inputs: CORE LOGO ICON MANIFEST VERSION HEADER RC, and WRONG_DIGEST (test launchers only:
# compile in a digest the core cannot have, to exercise the failed-install path).
foreach(var CORE LOGO ICON MANIFEST VERSION HEADER RC)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "payload_header.cmake: ${var} is not set")
  endif()
endforeach()

file(SHA256 "${CORE}" core_sha)
file(SHA256 "${LOGO}" logo_sha)
file(SHA256 "${ICON}" icon_sha)

# The identifier follows every payload byte: a launcher with another payload gets another one.
string(SHA256 combined "${core_sha}${logo_sha}${icon_sha}")
string(SUBSTRING "${combined}" 0 16 id_hex)
set(build_id "${VERSION}-${id_hex}")

set(expected "${core_sha}")
if(WRONG_DIGEST)
  string(SHA256 expected "not the core: ${core_sha}")
endif()
string(REGEX REPLACE "(..)" "0x\\1," digest_bytes "${expected}")

file(WRITE "${HEADER}" "// Generated at build time from the launcher's payload. Do not edit.
#pragma once
constexpr wchar_t kBuildId[] = L\"${build_id}\";
static_assert(sizeof kBuildId == 42, \"the identifier is 20 UTF-16 units\");
constexpr unsigned char kCoreSha256[32] = {${digest_bytes}};
")

file(WRITE "${RC}" "// Generated at build time. Do not edit.
#define VEXLO_PAYLOAD_CORE \"${CORE}\"
#define VEXLO_PAYLOAD_LOGO \"${LOGO}\"
#define VEXLO_PAYLOAD_ICON \"${ICON}\"
#define VEXLO_LAUNCHER_MANIFEST \"${MANIFEST}\"
#include \"launcher.rc\"
")
