#pragma once
// Scalar helpers used everywhere: the game's one random sequence, table
// square roots, the arc tangent the angle extraction relies on, rounding and
// tolerant float comparison.
#include <cstdint>

// ---------------------------------------------------------------------------
// Random numbers.
//
// The whole program shares ONE 15-bit generator so that a seed reproduces a
// game (hit chances, spreads, AI choices, noise tables) on every machine. It
// is a linear congruential generator, state = state * 214013 + 2531011, that
// returns bits 16..30 of the new state: values 0..32767. The state starts at 1
// as if os_srand(1) had been called. Main thread only: callers on other
// threads would make the sequence depend on timing.
constexpr int OS_RAND_MAX = 32767;

void os_srand(uint32_t seed);
int os_rand();
// The raw state, so a caller (a test, a replay) can save and restore the
// sequence exactly.
uint32_t os_rand_get_state();
void os_rand_set_state(uint32_t state);

// os_rand() / 32768: a float in [0, 1) in steps of 1/32768.
float frand();
// frand() * (b - a) + a: a float in [a, b).
float frand_range(float a, float b);
// True with the chance of at least one success in n tries of chance p; a
// fractional part f of n counts as one more try of chance f * p. The number
// of draws is part of the behaviour: it advances the shared sequence.
bool random_chance(float p, float n);

// ---------------------------------------------------------------------------
// Table square roots: about ten significant bits. The tables are built at
// start-up; fast_sqrt_init may be called again and does nothing then.
// Zero, negative, infinite and NaN inputs give meaningless values.
void fast_sqrt_init();
float fast_rsqrt(float x);
float fast_sqrt(float x);
// fast_sqrt plus one Newton step: (3 - y*y/x) * y * 0.5.
float fast_sqrt_refined(float x);

// x rounded to an integer in the current rounding mode (ties to even by
// default). NaN gives 0; values beyond the int range give the nearest limit.
int fround(float x);

// atan(y/x), plus pi when x < 0; the range is (-pi/2, 3pi/2), which the
// angle extraction of matrices depends on. x = 0 gives 0, -pi/2 or pi/2 by
// the sign of y.
float atan2_fast(float y, float x);

// sqrt(|x|) with the sign dropped.
float sqrt_abs(float x);

inline float det2(float a, float b, float c, float d) { return a * d - b * c; }

// Tolerant comparisons (0.0001). A difference of exactly the tolerance is
// neither equal nor unequal.
constexpr float FLOAT_TOLERANCE = 0.0001f;
inline bool float_eq(float a, float b) {
  float d = a - b;
  return d > -FLOAT_TOLERANCE && d < FLOAT_TOLERANCE;
}
inline bool float_eq(const float* a, const float* b) { return float_eq(*a, *b); }
inline bool float_eq(const float* a, float b) { return float_eq(*a, b); }
inline bool float_ne(float a, float b) {
  float d = a - b;
  return d > FLOAT_TOLERANCE || d < -FLOAT_TOLERANCE;
}
inline bool float_ne(const float* a, const float* b) { return float_ne(*a, *b); }
inline bool float_ne(const float* a, float b) { return float_ne(*a, b); }

inline void fl_clamp(float& v, float low, float high) {
  if (v < low) v = low;
  if (v > high) v = high;
}
inline float fl_max(float a, float b) { return a > b ? a : b; }
inline float fl_min(float a, float b) { return a < b ? a : b; }

// Decimal text of v: an optional "-", the integer digits (or "0"), "." and
// up to six fraction digits ("0" when there is no fraction). Never writes
// more than size bytes including the terminator; NaN and infinities come out
// as "nan", "inf" and "-inf". Returns the number of characters written
// (without the terminator).
int float_to_text(char* buffer, float v, int size);

// A single stored float.
struct float_cell {
  float value;
  void set(float v) { value = v; }
  float get() const { return value; }
};
