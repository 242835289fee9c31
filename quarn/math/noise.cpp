#include "quarn/math/noise.h"

#include <cmath>

#include "quarn/math/floatops.h"

namespace {
constexpr int B = 256;
constexpr int BM = 255;
constexpr float N = 4096.0f;

int p[B + B + 2];
float g1[B + B + 2];
float g2[B + B + 2][2];
float g3[B + B + 2][3];
bool start = true;

float random_component() { return static_cast<float>((os_rand() & 511) - 256) * 0.00390625f; }

// A zero-length gradient (both or all three draws exactly 0) stays zero: the
// noise is merely flat around that lattice point, where dividing would spread
// NaN through every later sample.
void normalize2(float v[2]) {
  float len = std::sqrt(v[0] * v[0] + v[1] * v[1]);
  if (len == 0.0f) return;
  v[0] /= len;
  v[1] /= len;
}

void normalize3(float v[3]) {
  float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len == 0.0f) return;
  v[0] /= len;
  v[1] /= len;
  v[2] /= len;
}

void init() {
  int i;
  for (i = 0; i < B; ++i) {
    p[i] = i;
    g1[i] = random_component();
    g2[i][0] = random_component();
    g2[i][1] = random_component();
    normalize2(g2[i]);
    g3[i][0] = random_component();
    g3[i][1] = random_component();
    g3[i][2] = random_component();
    normalize3(g3[i]);
  }
  for (i = B - 1; i > 0; --i) {
    int j = os_rand() & BM;
    int k = p[i];
    p[i] = p[j];
    p[j] = k;
  }
  for (i = 0; i < B + 2; ++i) {
    p[B + i] = p[i];
    g1[B + i] = g1[i];
    g2[B + i][0] = g2[i][0];
    g2[B + i][1] = g2[i][1];
    g3[B + i][0] = g3[i][0];
    g3[B + i][1] = g3[i][1];
    g3[B + i][2] = g3[i][2];
  }
}

void ensure_init() {
  if (start) {
    start = false;
    init();
  }
}

// The lattice cell and the offsets within it of one coordinate. The integer
// part truncates toward zero; coordinates whose integer part does not fit in
// an int (where a float has no fraction left) are reduced modulo 256 exactly,
// and NaN and infinities are taken as 0, so no input makes the conversion
// undefined.
void setup(float t, int& b0, int& b1, float& r0, float& r1) {
  float u = t + N;
  int i0;
  if (!std::isfinite(u)) {
    i0 = 0;
    r0 = 0.0f;
  } else if (std::fabs(u) < 2147483648.0f) {
    i0 = static_cast<int>(u);
    r0 = u - static_cast<float>(i0);
  } else {
    i0 = static_cast<int>(std::fmod(u, 256.0f));
    r0 = 0.0f;
  }
  b0 = i0 & BM;
  b1 = (b0 + 1) & BM;
  r1 = r0 - 1.0f;
}

inline float s_curve(float t) { return t * t * (3.0f - 2.0f * t); }
inline float lerp(float t, float a, float b) { return a + t * (b - a); }
}  // namespace

void noise_reset() { start = true; }

float noise_1d(float x) {
  ensure_init();
  int bx0, bx1;
  float rx0, rx1;
  setup(x, bx0, bx1, rx0, rx1);
  float sx = s_curve(rx0);
  float u = rx0 * g1[p[bx0]];
  float v = rx1 * g1[p[bx1]];
  return lerp(sx, u, v);
}

float noise_2d(float x, float y) {
  ensure_init();
  int bx0, bx1, by0, by1;
  float rx0, rx1, ry0, ry1;
  setup(x, bx0, bx1, rx0, rx1);
  setup(y, by0, by1, ry0, ry1);
  int i = p[bx0];
  int j = p[bx1];
  int b00 = p[i + by0];
  int b10 = p[j + by0];
  int b01 = p[i + by1];
  int b11 = p[j + by1];
  float sx = s_curve(rx0);
  float sy = s_curve(ry0);
  auto at2 = [](const float* q, float rx, float ry) { return rx * q[0] + ry * q[1]; };
  float u = at2(g2[b00], rx0, ry0);
  float v = at2(g2[b10], rx1, ry0);
  float a = lerp(sx, u, v);
  u = at2(g2[b01], rx0, ry1);
  v = at2(g2[b11], rx1, ry1);
  float b = lerp(sx, u, v);
  return lerp(sy, a, b);
}

float noise_3d(float x, float y, float z) {
  ensure_init();
  int bx0, bx1, by0, by1, bz0, bz1;
  float rx0, rx1, ry0, ry1, rz0, rz1;
  setup(x, bx0, bx1, rx0, rx1);
  setup(y, by0, by1, ry0, ry1);
  setup(z, bz0, bz1, rz0, rz1);
  int i = p[bx0];
  int j = p[bx1];
  int b00 = p[i + by0];
  int b10 = p[j + by0];
  int b01 = p[i + by1];
  int b11 = p[j + by1];
  float t = s_curve(rx0);
  float sy = s_curve(ry0);
  float sz = s_curve(rz0);
  auto at3 = [](const float* q, float rx, float ry, float rz) { return rx * q[0] + ry * q[1] + rz * q[2]; };
  float u = at3(g3[b00 + bz0], rx0, ry0, rz0);
  float v = at3(g3[b10 + bz0], rx1, ry0, rz0);
  float a = lerp(t, u, v);
  u = at3(g3[b01 + bz0], rx0, ry1, rz0);
  v = at3(g3[b11 + bz0], rx1, ry1, rz0);
  float b = lerp(t, u, v);
  float c = lerp(sy, a, b);
  u = at3(g3[b00 + bz1], rx0, ry0, rz1);
  v = at3(g3[b10 + bz1], rx1, ry0, rz1);
  a = lerp(t, u, v);
  u = at3(g3[b01 + bz1], rx0, ry1, rz1);
  v = at3(g3[b11 + bz1], rx1, ry1, rz1);
  b = lerp(t, u, v);
  float d = lerp(sy, a, b);
  return lerp(sz, c, d);
}
