# cmake -P: whether a launcher carries the test builds' hooks, told by the names of the environment
# variables they read (UTF-16LE "VEXLO_TEST_").
#   -DEXE=<launcher>  -DEXPECT=absent|present
file(READ "${EXE}" bytes HEX)
if(bytes STREQUAL "")
  message(FATAL_ERROR "cannot read ${EXE} (not built?)")
endif()
# "VEXLO_TEST_" in UTF-16LE, as file(READ HEX) spells it.
string(FIND "${bytes}" "5600450058004c004f005f0054004500530054005f00" at)
if(EXPECT STREQUAL "absent" AND NOT at EQUAL -1)
  message(FATAL_ERROR "${EXE} carries test hooks")
elseif(EXPECT STREQUAL "present" AND at EQUAL -1)
  message(FATAL_ERROR "${EXE} carries no test hooks, so this check would not see them either")
endif()
