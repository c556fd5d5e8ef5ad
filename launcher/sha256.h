// SHA-256 (FIPS 180-4). The launcher's own, so that checking the installed core needs nothing
// beyond kernel32.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vexlo::launcher {

struct Sha256 {
    uint32_t state[8];
    uint64_t total_bytes;
    unsigned char block[64];
    size_t block_used;
};

void sha256_begin(Sha256* hash);
void sha256_add(Sha256* hash, const void* data, size_t size);
void sha256_end(Sha256* hash, unsigned char digest[32]);

// Whole blocks go through the processor's SHA extensions where it has them (x86-64), else through
// the portable rounds. Tests use this to run both: false forces the portable rounds, true allows
// the extensions again; returns whether they are in use now.
bool sha256_use_cpu_extensions(bool allowed);

// Lowercase hex of size bytes into out (2 * size chars, no terminator).
void hex_lower(const unsigned char* bytes, size_t size, char* out);

}  // namespace vexlo::launcher
