// The Linux host's way to keep a listening port: Linux never lets a second socket listen on a
// port that one already listens on, so reusing the address only lets a restart on a fixed port
// bind while the last run's connections linger in TIME_WAIT.
#include <sys/socket.h>

#include <cerrno>

#include "platform/listen_socket.h"

namespace vexlo::platform {

int claim_listen_port(uintptr_t native_socket) {
    int on = 1;
    if (::setsockopt(int(native_socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return errno;
    return 0;
}

}  // namespace vexlo::platform
