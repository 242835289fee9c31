#include "quarn/math/floatops.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------
// Random numbers

namespace {
uint32_t rand_state = 1;
}

void os_srand(uint32_t seed) { rand_state = seed; }

int os_rand() {
  rand_state = rand_state * 214013u + 2531011u;
  return static_cast<int>((rand_state >> 16) & 0x7FFFu);
}

uint32_t os_rand_get_state() { return rand_state; }
void os_rand_set_state(uint32_t state) { rand_state = state; }

float frand() { return static_cast<float>(os_rand()) * 3.0517578e-5f; }

float frand_range(float a, float b) { return frand() * (b - a) + a; }

bool random_chance(float p, float n) {
  float r = n - 1.0f;
  while (r > 0.0f) {
    if (frand() < p) return true;
    // From about 2^25 tries on (and for an infinite n) subtracting one no
    // longer changes a float. With p > 0 a draw below p still comes, so the
    // draws stay as they were; with p <= 0 (or NaN) none ever would, and the
    // uncountable rest is taken as one final try instead of looping forever.
    float next = r - 1.0f;
    if (!(next < r) && !(p > 0.0f)) break;
    r = next;
  }
  return (r + 1.0f) * p > frand();
}

// ---------------------------------------------------------------------------
// Table square roots

namespace {
uint32_t rsqrt_table[1024];
uint32_t sqrt_table[1024];
bool sqrt_tables_built = false;

// Build the tables before main so no caller can see them empty.
struct SqrtTablesAtStartup {
  SqrtTablesAtStartup() { fast_sqrt_init(); }
} sqrt_tables_at_startup;
}  // namespace

void fast_sqrt_init() {
  if (sqrt_tables_built) return;
  for (uint32_t i = 0; i < 1024; ++i) {
    float f = std::bit_cast<float>(0x3F000000u | (i << 14));
    float rs = 1.0f / std::sqrt(f);
    float s = std::sqrt(f);
    rsqrt_table[i] = rs == 1.0f ? 0x7FE000u : (std::bit_cast<uint32_t>(rs) & 0x7FE000u);
    sqrt_table[i] = s == 1.0f ? 0u : (std::bit_cast<uint32_t>(s) & 0x7FE000u);
  }
  sqrt_tables_built = true;
}

float fast_rsqrt(float x) {
  uint32_t b = std::bit_cast<uint32_t>(x);
  uint32_t exponent = ((0xBE000000u - (b & 0x7F800000u)) >> 1) & 0x7F800000u;
  return std::bit_cast<float>(exponent | rsqrt_table[(b >> 14) & 0x3FFu]);
}

float fast_sqrt(float x) {
  uint32_t b = std::bit_cast<uint32_t>(x);
  uint32_t exponent = (((b & 0x7F800000u) + 0x3F800000u) >> 1) & 0x7F800000u;
  return std::bit_cast<float>(exponent | sqrt_table[(b >> 14) & 0x3FFu]);
}

float fast_sqrt_refined(float x) {
  float y = fast_sqrt(x);
  return (3.0f - y * y / x) * y * 0.5f;
}

// ---------------------------------------------------------------------------

int fround(float x) {
  if (x != x) return 0;
  // lrintf's result for values outside long is unspecified; keep to int.
  if (x >= 2147483648.0f) return INT_MAX;
  if (x <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(std::lrintf(x));
}

float atan2_fast(float y, float x) {
  if (x != 0.0f) {
    float a = std::atan(y / x);
    if (x < 0.0f) a += 3.1415927f;
    return a;
  }
  if (y == 0.0f) return 0.0f;
  return y < 0.0f ? -1.5707964f : 1.5707964f;
}

float sqrt_abs(float x) { return x >= 0.0f ? std::sqrt(x) : std::sqrt(-x); }

// ---------------------------------------------------------------------------

int float_to_text(char* buffer, float v, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  const int limit = size - 1;  // characters that fit before the terminator
  int n = 0;
  auto put = [&](char c) {
    if (n < limit) buffer[n++] = c;
  };
  auto finish = [&]() {
    buffer[n] = '\0';
    return n;
  };

  if (v != v) {
    for (const char* s = "nan"; *s; ++s) put(*s);
    return finish();
  }
  if (v < 0.0f) {
    put('-');
    if (limit <= 1) return finish();
    v = -v;
  }
  if (std::isinf(v)) {
    for (const char* s = "inf"; *s; ++s) put(*s);
    return finish();
  }
  if (v == 0.0f) {
    if (size < 4) return 0;
    std::memcpy(buffer, "0.0", 4);
    return 3;
  }

  float whole = std::floor(v);
  float fraction = v - whole;
  if (whole < 1.0f) {
    put('0');
  } else {
    float power = 1.0f;
    while (power * 10.0f <= whole) power *= 10.0f;
    float rest = whole;
    while (power >= 1.0f && n < limit) {
      float digit = std::floor(rest / power);
      // Rounding in the division can give -1 or 10 for huge values.
      if (digit < 0.0f) digit = 0.0f;
      if (digit > 9.0f) digit = 9.0f;
      put(static_cast<char>('0' + static_cast<int>(digit)));
      rest -= digit * power;
      if (rest < 0.0f) rest = 0.0f;
      power /= 10.0f;
    }
  }

  put('.');
  if (fraction <= 0.0f) {
    put('0');
    return finish();
  }
  for (int i = 0; i < 6 && fraction > 0.0f && n < limit; ++i) {
    float scaled = fraction * 10.0f;
    float digit = std::floor(scaled);
    if (digit > 9.0f) digit = 9.0f;
    put(static_cast<char>('0' + static_cast<int>(digit)));
    fraction = scaled - digit;
  }
  return finish();
}
