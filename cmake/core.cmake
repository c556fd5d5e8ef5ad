# VexloTweaks-core.exe: the product on the real PC (started by the launcher).
set(VEXLO_CORE_MANIFEST ${CMAKE_SOURCE_DIR}/host/core.manifest)
set(VEXLO_ICON ${CMAKE_SOURCE_DIR}/assets/VexloTweaks.ico)
configure_file(${CMAKE_SOURCE_DIR}/host/core.rc.in ${CMAKE_BINARY_DIR}/generated/core.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/core.rc PROPERTIES
  OBJECT_DEPENDS "${VEXLO_CORE_MANIFEST};${VEXLO_ICON}")

add_library(vexlo_host STATIC ${CMAKE_SOURCE_DIR}/host/core_host.cpp)
target_include_directories(vexlo_host PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vexlo_host PUBLIC vexlo_app)

add_executable(vexlo_core WIN32 ${CMAKE_SOURCE_DIR}/host/core_main.cpp ${CMAKE_BINARY_DIR}/generated/core.rc)
set_target_properties(vexlo_core PROPERTIES OUTPUT_NAME VexloTweaks-core)
target_link_options(vexlo_core PRIVATE -municode)
target_link_libraries(vexlo_core PRIVATE vexlo_host vexlo_app vexlo_uiserver vexlo_win32)
target_link_options(vexlo_core PRIVATE $<$<CONFIG:Release>:-s>)
