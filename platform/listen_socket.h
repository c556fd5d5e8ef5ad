#pragma once
// The window's server listens on a loopback port that must stay ours alone while we hold it:
// an elevated program whose port another program could take over would hand that program the
// user's clicks. Each OS says "this port is mine" with its own socket option, set before bind.
//
// A plain function rather than a part of Platform: the socket belongs to this process's own
// network stack, not to the PC the application looks after (the simulated PC serves its
// window over the Linux host's real sockets). Each build links the back end of its OS.
#include <cstdint>

namespace vexlo::platform {

// `native_socket` is the OS handle of an open, not yet bound, TCP socket (a descriptor on
// Linux, a SOCKET on Windows). Returns 0, or the OS's error code from the failing call.
int claim_listen_port(uintptr_t native_socket);

}  // namespace vexlo::platform
