// The system's preferred cryptographic generator, the one Windows itself seeds and reseeds.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <limits>

#include "platform/win32/parts.h"

namespace vexlo::win32 {
namespace {

class Win32Random final : public platform::Random {
public:
    void fill(uint8_t* out, size_t size) override {
        while (size > 0) {
            ULONG chunk = ULONG(std::min<size_t>(size, std::numeric_limits<ULONG>::max()));
            NTSTATUS st = BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
            if (!BCRYPT_SUCCESS(st))
                throw platform::PlatformError("Cannot read the system random source: status " +
                                              std::to_string(static_cast<unsigned long>(st)));
            out += chunk;
            size -= chunk;
        }
    }
};

}  // namespace

std::unique_ptr<platform::Random> make_random() { return std::make_unique<Win32Random>(); }

}  // namespace vexlo::win32
