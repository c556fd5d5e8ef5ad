#pragma once
// The Windows test program doubles as a small service host, so that tests can make throwaway
// services without any program of their own: started by the Service Control Manager with the
// command line below, it serves instead of running the tests.
#include <string>

namespace vexlo::testkit {

// The command line of a service hosted by this program, in `mode`: normal stops when asked;
// nostop does not accept stop; hang accepts stop and never stops.
std::wstring test_service_command(const std::wstring& mode);

}  // namespace vexlo::testkit
