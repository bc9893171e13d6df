// The block kernels' bodies, compiled once per instruction set: included only by
// block_kernels_generic.cpp and block_kernels_avx2.cpp, after every other header
// and after they define BLOCK_KERNEL (their target attribute) and the two
// operations that need the set's own instructions, multiplyLow32 and squareRoot.
// Everything here has internal linkage, so the two sets never mix.

namespace cohortix {
namespace {

using lanes::Double4;
using lanes::Float4;
using lanes::Int4;

// Pairs drawn in one step of the chain loop: sixteen draws, one step of the
// generator's lanes.
constexpr std::size_t kGroupPairs = 8;
// Groups between drawing a group and keeping its pairs: by then the table values
// are in the cache, and their loads need not wait for the stores to be done.
constexpr std::size_t kGroupLag = 2;

BLOCK_KERNEL [[gnu::always_inline]] inline Float4 loadFloats(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

BLOCK_KERNEL [[gnu::always_inline]] inline Int4 loadInts(const int32_t* p) {
  Int4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

BLOCK_KERNEL [[gnu::always_inline]] inline void store(float* p, Float4 v) {
  std::memcpy(p, &v, sizeof v);
}

BLOCK_KERNEL [[gnu::always_inline]] inline void store(int32_t* p, Uint64x4 v) {
  const Int4 low = __builtin_convertvector(v, Int4);
  std::memcpy(p, &low, sizeof low);
}

// --- Generator states ------------------------------------------------------------

BLOCK_KERNEL [[gnu::always_inline]] inline Uint64x4 multiplyModulo(Uint64x4 a, Uint64x4 b) {
  Uint64x4 x = multiplyLow32(a, b);
  x = (x & generator::kModulus) + (x >> 31);
  x = (x & generator::kModulus) + (x >> 31);
  return x;
}

// Sixteen lanes in four vectors: one step of a lane waits on a multiplication and
// two folds, and four independent vectors keep the processor busy meanwhile.
struct GeneratorLanes {
  Uint64x4 vectors[4];
};

BLOCK_KERNEL [[gnu::always_inline]] inline GeneratorLanes startLanes(int32_t s) {
  using generator::kLanePowers;
  static_assert(generator::kLanes == 16);
  const Uint64x4 seed = Uint64x4{} + static_cast<uint64_t>(s);
  GeneratorLanes lanes;
  for (std::size_t v = 0; v < 4; ++v) {
    const Uint64x4 powers{kLanePowers[4 * v], kLanePowers[4 * v + 1], kLanePowers[4 * v + 2],
                          kLanePowers[4 * v + 3]};
    lanes.vectors[v] = multiplyModulo(seed, powers);
  }
  return lanes;
}

// The next sixteen states.
BLOCK_KERNEL [[gnu::always_inline]] inline void generateSixteen(GeneratorLanes& lanes,
                                                               int32_t* out) {
  const Uint64x4 jump = Uint64x4{} + generator::kLanePowers[generator::kLanes - 1];
  for (std::size_t v = 0; v < 4; ++v) {
    store(out + 4 * v, lanes.vectors[v]);
    lanes.vectors[v] = multiplyModulo(lanes.vectors[v], jump);
  }
}

// --- Polar pairs -----------------------------------------------------------------

// Two pairs from four table values, kept at the end of the accepted pairs when
// they are accepted. Both are written, and the count moves on only for an
// accepted one: no branch to mispredict.
BLOCK_KERNEL [[gnu::always_inline]] inline std::size_t keepTwoPairs(const int32_t* tableValues,
                                                                   float* kept,
                                                                   std::size_t accepted) {
  const Float4 ab = polar::coordinateOf<Float4, Double4>(
      polar::uniformOf<Float4, Int4, Double4>(loadInts(tableValues)));
  const Float4 squares = ab * ab;
  // a*a + b*b of each pair in both of its lanes; the sum is the same either way.
  const Float4 s = squares + __builtin_shuffle(squares, Int4{1, 0, 3, 2});
  const int acceptedMask = _mm_movemask_ps(reinterpret_cast<__m128>((s < 1.0f) & (s != 0.0f)));
  _mm_storel_pi(reinterpret_cast<__m64*>(kept + 2 * accepted), reinterpret_cast<__m128>(ab));
  accepted += static_cast<std::size_t>(acceptedMask & 1);
  _mm_storeh_pi(reinterpret_cast<__m64*>(kept + 2 * accepted), reinterpret_cast<__m128>(ab));
  return accepted + static_cast<std::size_t>((acceptedMask >> 2) & 1);
}

// The same for one pair, when fewer than two are left.
BLOCK_KERNEL [[gnu::always_inline]] inline std::size_t keepPair(const int32_t* tableValues,
                                                               float* kept,
                                                               std::size_t accepted) {
  const float a = polarCoordinate(uniformFromTableValue(tableValues[0]));
  const float b = polarCoordinate(uniformFromTableValue(tableValues[1]));
  kept[2 * accepted] = a;
  kept[2 * accepted + 1] = b;
  return accepted + (acceptPolarPair(a * a + b * b) ? 1 : 0);
}

BLOCK_KERNEL [[gnu::always_inline]] inline void drawGroup(ShuffleChain& chain,
                                                         ShuffleChain::Cursor& cursor,
                                                         PolarBatch& batch,
                                                         std::size_t firstDraw) {
  for (std::size_t k = firstDraw; k < firstDraw + 2 * kGroupPairs; ++k)
    batch.tableValues[k] = chain.next(cursor, batch.generated[k]);
}

BLOCK_KERNEL [[gnu::always_inline]] inline std::size_t keepGroup(PolarBatch& batch,
                                                                std::size_t group,
                                                                std::size_t accepted) {
  const int32_t* tableValues = batch.tableValues + 2 * kGroupPairs * group;
  for (std::size_t i = 0; i < 2 * kGroupPairs; i += 4)
    accepted = keepTwoPairs(tableValues + i, batch.pairs, accepted);
  return accepted;
}

// The serial chain leaves the processor mostly waiting on one load per draw; in
// its shadow each step generates the states of the next group and keeps the
// accepted pairs of the group drawn kGroupLag steps before.
BLOCK_KERNEL std::size_t polarPairs(ShuffleChain& chain, PolarBatch& batch, std::size_t pairs,
                                    int32_t& RandomSeed) {
  const std::size_t draws = 2 * pairs;
  const std::size_t groups = pairs / kGroupPairs;
  GeneratorLanes lanes = startLanes(RandomSeed);
  generateSixteen(lanes, batch.generated);
  ShuffleChain::Cursor cursor = chain.cursor();
  std::size_t accepted = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t first = 2 * kGroupPairs * g;
    if (first + 2 * kGroupPairs < draws) generateSixteen(lanes, batch.generated + first + 16);
    drawGroup(chain, cursor, batch, first);
    if (g >= kGroupLag) accepted = keepGroup(batch, g - kGroupLag, accepted);
  }
  for (std::size_t g = groups > kGroupLag ? groups - kGroupLag : 0; g < groups; ++g)
    accepted = keepGroup(batch, g, accepted);
  for (std::size_t i = kGroupPairs * groups; i < pairs; ++i) {
    batch.tableValues[2 * i] = chain.next(cursor, batch.generated[2 * i]);
    batch.tableValues[2 * i + 1] = chain.next(cursor, batch.generated[2 * i + 1]);
    accepted = keepPair(batch.tableValues + 2 * i, batch.pairs, accepted);
  }
  chain.moveTo(cursor);
  RandomSeed = batch.generated[draws - 1];
  return accepted;
}

// --- Logarithms and deviates -----------------------------------------------------

BLOCK_KERNEL [[gnu::always_inline]] inline Float4 factorsOf(Float4 s) {
  return lanes::narrow(squareRoot(polar::factorSquaredOf<Float4, Int4, Double4>(s)));
}

BLOCK_KERNEL void logarithms(const float* x, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    store(out + i, logarithm::logOfPositive<Float4, Int4, Double4>(loadFloats(x + i)));
  for (; i < n; ++i) out[i] = logarithm::logOfPositive<float, int32_t, double>(x[i]);
}

BLOCK_KERNEL void polarFactors(const float* s, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) store(out + i, factorsOf(loadFloats(s + i)));
  for (; i < n; ++i) out[i] = polarFactor(s[i]);
}

// Four pairs (a, b) in, their eight deviates out: b*f, then a*f, pair by pair.
BLOCK_KERNEL [[gnu::always_inline]] inline void deviatesOfFourPairs(const float* pairs,
                                                                   float* out) {
  const Float4 first = loadFloats(pairs);
  const Float4 second = loadFloats(pairs + 4);
  const Float4 a = __builtin_shuffle(first, second, Int4{0, 2, 4, 6});
  const Float4 b = __builtin_shuffle(first, second, Int4{1, 3, 5, 7});
  const Float4 f = factorsOf(a * a + b * b);
  store(out, __builtin_shuffle(first, Int4{1, 0, 3, 2}) * __builtin_shuffle(f, Int4{0, 0, 1, 1}));
  store(out + 4,
        __builtin_shuffle(second, Int4{1, 0, 3, 2}) * __builtin_shuffle(f, Int4{2, 2, 3, 3}));
}

BLOCK_KERNEL void polarDeviates(const float* pairs, std::size_t count, float* out) {
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) deviatesOfFourPairs(pairs + 2 * i, out + 2 * i);
  for (; i < count; ++i) {
    const float a = pairs[2 * i];
    const float b = pairs[2 * i + 1];
    const float f = polarFactor(a * a + b * b);
    out[2 * i] = b * f;
    out[2 * i + 1] = a * f;
  }
}

}  // namespace
}  // namespace cohortix
