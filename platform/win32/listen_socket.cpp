// Windows lets a second socket bind a port that is in use when it asks to reuse the address;
// exclusive use refuses every later bind of our port, whatever options the other side sets.
#include <winsock2.h>

#include "platform/listen_socket.h"

namespace vexlo::platform {

int claim_listen_port(uintptr_t native_socket) {
    BOOL on = TRUE;
    if (::setsockopt(SOCKET(native_socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0)
        return ::WSAGetLastError();
    return 0;
}

}  // namespace vexlo::platform
