// FEAL-8 rounds, round functions and key schedules.  Halves are 4-byte
// arrays whose first byte is FEAL's byte 0.
#include "fealencr.h"

#include <cstring>

namespace {

using Half = OCTET[4];

constexpr OCTET rotate_left_2(OCTET value) {
    return static_cast<OCTET>((value << 2) | (value >> 6));
}
constexpr OCTET S0(OCTET a, OCTET b) { return rotate_left_2(static_cast<OCTET>(a + b)); }
constexpr OCTET S1(OCTET a, OCTET b) { return rotate_left_2(static_cast<OCTET>(a + b + 1)); }

void xor_into(Half target, const OCTET *other) {
    for (int i = 0; i < 4; ++i) target[i] ^= other[i];
}

// Subkeys k and k + 1 side by side, as one half.
void subkey_pair(const FEAL_KEYSCHED schedule, int k, Half pair) {
    std::memcpy(pair, schedule[k], 2);
    std::memcpy(pair + 2, schedule[k + 1], 2);
}

void xor_subkeys(Half target, const FEAL_KEYSCHED schedule, int k) {
    Half pair;
    subkey_pair(schedule, k, pair);
    xor_into(target, pair);
}

}  // namespace

void com__charbuf_activate(const OCTET key[8], FEAL_KEYSCHED schedule) {
    Half a, b;
    std::memcpy(a, key, 4);
    std::memcpy(b, key + 4, 4);
    for (int round = 1; round <= 8; ++round) {
        // The published schedule would XOR b with the a of two rounds back.
        Half next;
        com__charbuf_clean(a, b, next);
        std::memcpy(a, b, 4);
        std::memcpy(b, next, 4);
        std::memcpy(schedule[2 * round - 2], next, 2);
        std::memcpy(schedule[2 * round - 1], next + 2, 2);
    }
}

void com__charbuf_alloc(const OCTET A[4], const OCTET B[2], OCTET f[4]) {
    OCTET u1 = A[1] ^ B[0] ^ A[0];
    OCTET u2 = A[2] ^ B[1] ^ A[3];
    u1 = S1(u1, u2);
    u2 = S0(u2, u1);
    const OCTET u0 = S0(A[0], u1);
    const OCTET u3 = S1(A[3], u2);
    f[0] = u0;
    f[1] = u1;
    f[2] = u2;
    f[3] = u3;
}

void com__charbuf_clean(const OCTET A[4], const OCTET B[4], OCTET fk[4]) {
    OCTET t1 = A[0] ^ A[1];
    OCTET t2 = A[2] ^ A[3];
    t1 = S1(t1, t2 ^ B[0]);
    t2 = S0(t2, t1 ^ B[1]);
    const OCTET t0 = S0(A[0], t1 ^ B[2]);
    const OCTET t3 = S1(A[3], t2 ^ B[3]);
    fk[0] = t0;
    fk[1] = t1;
    fk[2] = t2;
    fk[3] = t3;
}

void com__charbuf_uninitialize(const OCTET C[8], OCTET P[8], const FEAL_KEYSCHED feal_keysched) {
    Half right, left;
    std::memcpy(right, C, 4);
    std::memcpy(left, C + 4, 4);
    xor_subkeys(right, feal_keysched, 12);
    xor_subkeys(left, feal_keysched, 14);
    xor_into(left, right);
    for (int round = 8; round >= 1; --round) {
        Half mixed;
        com__charbuf_alloc(left, feal_keysched[round - 1], mixed);
        xor_into(mixed, right);
        std::memcpy(right, left, 4);
        std::memcpy(left, mixed, 4);
    }
    xor_into(right, left);
    xor_subkeys(left, feal_keysched, 8);
    xor_subkeys(right, feal_keysched, 10);
    std::memcpy(P, left, 4);
    std::memcpy(P + 4, right, 4);
}

void com__charbuf_initialize(const OCTET P[8], OCTET C[8], const FEAL_KEYSCHED feal_keysched) {
    Half left, right;
    std::memcpy(left, P, 4);
    std::memcpy(right, P + 4, 4);
    xor_subkeys(left, feal_keysched, 8);
    xor_subkeys(right, feal_keysched, 10);
    xor_into(right, left);
    for (int round = 1; round <= 8; ++round) {
        Half mixed;
        com__charbuf_alloc(right, feal_keysched[round - 1], mixed);
        xor_into(mixed, left);
        std::memcpy(left, right, 4);
        std::memcpy(right, mixed, 4);
    }
    xor_into(left, right);
    xor_subkeys(right, feal_keysched, 12);
    xor_subkeys(left, feal_keysched, 14);
    std::memcpy(C, right, 4);
    std::memcpy(C + 4, left, 4);
}
