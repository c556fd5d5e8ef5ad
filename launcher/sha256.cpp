#include "launcher/sha256.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define VEXLO_SHA256_X86 1
#endif

namespace vexlo::launcher {
namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(uint32_t state[8], const unsigned char block[64]) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) {
        w[t] = (uint32_t(block[4 * t]) << 24) | (uint32_t(block[4 * t + 1]) << 16) | (uint32_t(block[4 * t + 2]) << 8) |
               uint32_t(block[4 * t + 3]);
    }
    for (int t = 16; t < 64; ++t) {
        uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
        uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

#ifdef VEXLO_SHA256_X86
// The x86 SHA extensions: the launcher hashes the whole core on every start, and these do it
// several times faster than the portable rounds. Used only where the processor has them.
__attribute__((target("sha,sse4.1,ssse3"))) void compress_sha_ni(uint32_t state[8], const unsigned char* data,
                                                                   size_t blocks) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions keep the state as ABEF and CDGH.
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
    __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, hgfe, 8);
    __m128i cdgh = _mm_blend_epi16(hgfe, cdab, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef_before = abef, cdgh_before = cdgh;
        __m128i w[4];  // four message words each; w[g % 4] holds words 4g .. 4g+3
        for (int i = 0; i < 4; ++i) {
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byte_swap);
        }
        for (int g = 0; g < 16; ++g) {
            __m128i wk = _mm_add_epi32(w[g & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E));
            if (g < 12) {
                // Words 4(g+4) .. : W[t-16] + s0(W[t-15]) + W[t-7] + s1(W[t-2]).
                __m128i next = _mm_sha256msg1_epu32(w[g & 3], w[(g + 1) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w[(g + 3) & 3], w[(g + 2) & 3], 4));
                w[g & 3] = _mm_sha256msg2_epu32(next, w[(g + 3) & 3]);
            }
        }
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }
    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

bool cpu_has_sha_ni() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & (1u << 29)) != 0;
}
#endif

// 0: not yet asked, 1: portable rounds, 2: SHA extensions.
int g_engine = 0;

void compress_blocks(uint32_t state[8], const unsigned char* data, size_t blocks) {
#ifdef VEXLO_SHA256_X86
    if (g_engine == 0) g_engine = cpu_has_sha_ni() ? 2 : 1;
    if (g_engine == 2) {
        compress_sha_ni(state, data, blocks);
        return;
    }
#endif
    for (; blocks > 0; --blocks, data += 64) compress(state, data);
}

}  // namespace

bool sha256_use_cpu_extensions(bool allowed) {
#ifdef VEXLO_SHA256_X86
    g_engine = allowed && cpu_has_sha_ni() ? 2 : 1;
    return g_engine == 2;
#else
    (void)allowed;
    g_engine = 1;
    return false;
#endif
}

void sha256_begin(Sha256* hash) {
    static constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    for (int i = 0; i < 8; ++i) hash->state[i] = kInitial[i];
    hash->total_bytes = 0;
    hash->block_used = 0;
}

void sha256_add(Sha256* hash, const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    hash->total_bytes += size;
    while (size > 0) {
        // Whole blocks straight from the input, without copying them into the block buffer first.
        if (hash->block_used == 0 && size >= 64) {
            size_t blocks = size / 64;
            compress_blocks(hash->state, p, blocks);
            p += 64 * blocks;
            size -= 64 * blocks;
            continue;
        }
        size_t take = 64 - hash->block_used;
        if (take > size) take = size;
        for (size_t i = 0; i < take; ++i) hash->block[hash->block_used + i] = p[i];
        hash->block_used += take;
        p += take;
        size -= take;
        if (hash->block_used == 64) {
            compress_blocks(hash->state, hash->block, 1);
            hash->block_used = 0;
        }
    }
}

void sha256_end(Sha256* hash, unsigned char digest[32]) {
    uint64_t bits = hash->total_bytes * 8;
    // Padding: a one bit, zeros up to 56 bytes into a block, then the length in bits, big-endian.
    hash->block[hash->block_used++] = 0x80;
    if (hash->block_used > 56) {
        while (hash->block_used < 64) hash->block[hash->block_used++] = 0;
        compress_blocks(hash->state, hash->block, 1);
        hash->block_used = 0;
    }
    while (hash->block_used < 56) hash->block[hash->block_used++] = 0;
    for (int i = 0; i < 8; ++i) hash->block[56 + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    compress_blocks(hash->state, hash->block, 1);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = static_cast<unsigned char>(hash->state[i] >> 24);
        digest[4 * i + 1] = static_cast<unsigned char>(hash->state[i] >> 16);
        digest[4 * i + 2] = static_cast<unsigned char>(hash->state[i] >> 8);
        digest[4 * i + 3] = static_cast<unsigned char>(hash->state[i]);
    }
    hash->block_used = 0;
}

void hex_lower(const unsigned char* bytes, size_t size, char* out) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 15];
    }
}

}  // namespace vexlo::launcher
