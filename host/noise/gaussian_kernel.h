#pragma once
// The Gaussian block kernel written once for any lane width: Philox4x32-10 on a
// vector of counters, then Box-Muller in single precision with our own logarithm,
// sine and cosine (Cephes-style polynomials), so every code path gives the same
// bits. Included by one source per instruction set, each supplying its lane type;
// everything here has internal linkage, so no copy compiled for one instruction
// set can stand in for another.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cohortix::host::noise {
namespace {

constexpr uint32_t kPhiloxMultiplier0 = 0xD2511F53u;
constexpr uint32_t kPhiloxMultiplier1 = 0xCD9E8D57u;
constexpr uint32_t kPhiloxWeyl0 = 0x9E3779B9u;
constexpr uint32_t kPhiloxWeyl1 = 0xBB67AE85u;
constexpr int kPhiloxRounds = 10;

// The same bits seen as another vector type of the same size.
template <class To, class From>
To bitsAs(const From& value) {
  static_assert(sizeof(To) == sizeof(From));
  To result;
  std::memcpy(&result, &value, sizeof(To));
  return result;
}

template <class L>
struct BoxMuller {
  using U = typename L::U;
  using I = typename L::I;
  using F = typename L::F;

  // Natural logarithm of x in (0, 1): x = m 2^e with m in [sqrt(1/2), sqrt(2)),
  // a degree-9 polynomial in m - 1 and the exponent in two parts (Cephes logf).
  __attribute__((always_inline)) static F logarithm(F x) {
    const I bits = bitsAs<I>(x);
    I exponent = (bits >> 23) - 126;
    const I mantissaBits = (bits & 0x007fffff) | 0x3f000000;
    F m = bitsAs<F>(mantissaBits);
    const I small = m < 0.707106781186547524f;
    exponent = exponent + small;  // a true comparison is -1
    m = small ? m + m : m;
    m = m - 1.0f;
    const F z = m * m;
    F y = 7.0376836292E-2f * m - 1.1514610310E-1f;
    y = y * m + 1.1676998740E-1f;
    y = y * m - 1.2420140846E-1f;
    y = y * m + 1.4249322787E-1f;
    y = y * m - 1.6668057665E-1f;
    y = y * m + 2.0000714765E-1f;
    y = y * m - 2.4999993993E-1f;
    y = y * m + 3.3333331174E-1f;
    y = y * m * z;
    const F e = __builtin_convertvector(exponent, F);
    y = y + e * -2.12194440e-4f;
    y = y - 0.5f * z;
    return m + y + e * 0.693359375f;
  }

  // cos and sin of 2 pi b / 2^32: the nearest quarter turn q from the top bits, the
  // rest (|phi| <= pi / 4) by polynomials, then a rotation by q quarter turns.
  __attribute__((always_inline)) static void cosSin(U b, F& cosine, F& sine) {
    const U quarter = (b + 0x20000000u) >> 30;
    const U restBits = b - (quarter << 30);
    const I rest = bitsAs<I>(restBits);
    const F phi = __builtin_convertvector(rest, F) * 1.46291807926715968e-09f;  // 2 pi / 2^32
    const F z = phi * phi;
    const F s = phi + phi * z * ((-1.9515295891E-4f * z + 8.3321608736E-3f) * z - 1.6666654611E-1f);
    const F c = 1.0f - 0.5f * z +
                z * z * ((2.443315711809948E-5f * z - 1.388731625493765E-3f) * z + 4.166664568298827E-2f);
    const I swap = bitsAs<I>(quarter & 1u);
    const I swapped = swap != 0;
    const F cosRaw = swapped ? s : c;
    const F sinRaw = swapped ? c : s;
    const U cosSign = ((quarter + 1u) & 2u) << 30;
    const U sinSign = (quarter & 2u) << 30;
    cosine = bitsAs<F>(bitsAs<U>(cosRaw) ^ cosSign);
    sine = bitsAs<F>(bitsAs<U>(sinRaw) ^ sinSign);
  }

  __attribute__((always_inline)) static void pair(U a, U b, F& first, F& second) {
    const U top = a >> 9;
    const F u = (__builtin_convertvector(bitsAs<I>(top), F) + 0.5f) *
                1.1920928955078125e-07f;  // 2^-23
    const F radius = L::squareRoot(-2.0f * logarithm(u));
    F cosine, sine;
    cosSin(b, cosine, sine);
    first = radius * cosine;
    second = radius * sine;
  }
};

// kVectors vectors of counters at once, so the latency of one Philox round hides
// behind the others: vector v covers quads quad[v] + lane with word1[v].
template <class L, int kVectors>
void philoxBoxMuller(const uint32_t key[2], const uint32_t (&quad)[kVectors], const uint32_t (&word1)[kVectors],
                     uint32_t word2, uint32_t word3, typename L::F (&z)[kVectors][4]) {
  using U = typename L::U;
  U lane = {};
  for (int i = 0; i < L::kLanes; ++i) lane[i] = static_cast<uint32_t>(i);
  U c0[kVectors], c1[kVectors], c2[kVectors], c3[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    c0[v] = lane + quad[v];
    c1[v] = U{} + word1[v];
    c2[v] = U{} + word2;
    c3[v] = U{} + word3;
  }
  uint32_t k0 = key[0];
  uint32_t k1 = key[1];
  for (int round = 0; round < kPhiloxRounds; ++round) {
    for (int v = 0; v < kVectors; ++v) {
      const U hi0 = L::mulHigh(c0[v], kPhiloxMultiplier0);
      const U lo0 = c0[v] * kPhiloxMultiplier0;
      const U hi1 = L::mulHigh(c2[v], kPhiloxMultiplier1);
      const U lo1 = c2[v] * kPhiloxMultiplier1;
      c0[v] = hi1 ^ c1[v] ^ k0;
      c1[v] = lo1;
      c2[v] = hi0 ^ c3[v] ^ k1;
      c3[v] = lo0;
    }
    k0 += kPhiloxWeyl0;
    k1 += kPhiloxWeyl1;
  }
  for (int v = 0; v < kVectors; ++v) {
    BoxMuller<L>::pair(c0[v], c1[v], z[v][0], z[v][1]);
    BoxMuller<L>::pair(c2[v], c3[v], z[v][2], z[v][3]);
  }
}

// kBlocks blocks at once; block b's lane i of word j goes to out[b][8 j + i].
template <class L, int kBlocks>
void blocksAtOnce(const uint32_t key[2], const GaussianBlock* blocks, uint32_t word2, uint32_t word3) {
  constexpr int kPerBlock = 8 / L::kLanes;
  constexpr int kVectors = kBlocks * kPerBlock;
  uint32_t quad[kVectors], word1[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    quad[v] = blocks[v / kPerBlock].quad + static_cast<uint32_t>((v % kPerBlock) * L::kLanes);
    word1[v] = blocks[v / kPerBlock].word1;
  }
  typename L::F z[kVectors][4];
  philoxBoxMuller<L, kVectors>(key, quad, word1, word2, word3, z);
  for (int v = 0; v < kVectors; ++v) {
    float* const base = blocks[v / kPerBlock].out + (v % kPerBlock) * L::kLanes;
    for (int word = 0; word < 4; ++word) std::memcpy(base + 8 * word, &z[v][word], sizeof(typename L::F));
  }
}

template <class L>
void gaussianBlocksWith(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count, uint32_t word2,
                        uint32_t word3) {
  constexpr int kPerBlock = 8 / L::kLanes;
  constexpr int kBlocks = 4 / kPerBlock > 0 ? 4 / kPerBlock : 1;
  std::size_t b = 0;
  for (; b + kBlocks <= count; b += kBlocks) blocksAtOnce<L, kBlocks>(key, blocks + b, word2, word3);
  for (; b < count; ++b) blocksAtOnce<L, 1>(key, blocks + b, word2, word3);
}

}  // namespace
}  // namespace cohortix::host::noise
