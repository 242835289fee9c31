// The game's mathematics beside the plain libm formulation of the same
// operation, so a table-driven or hand-tuned form can be held to being at
// least as fast as what it replaces.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "quarn/math/floatops.h"
#include "quarn/math/matrix.h"
#include "quarn/math/noise.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

namespace {

constexpr int N = 1024;

std::vector<vector> random_vectors() {
  os_srand(1234);
  std::vector<vector> v(N);
  for (auto& p : v) p.set(frand_range(-100, 100), frand_range(-100, 100), frand_range(-100, 100));
  return v;
}

std::vector<float> random_positive() {
  os_srand(77);
  std::vector<float> v(N);
  for (auto& f : v) f = frand_range(0.001f, 1000.0f);
  return v;
}

// ---------------------------------------------------------------------------
// Square roots

void BM_Sqrt_Table(benchmark::State& state) {
  auto in = random_positive();
  for (auto _ : state) {
    float sum = 0;
    for (float x : in) sum += fast_sqrt(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Sqrt_Table);

void BM_Sqrt_Libm(benchmark::State& state) {
  auto in = random_positive();
  for (auto _ : state) {
    float sum = 0;
    for (float x : in) sum += std::sqrt(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Sqrt_Libm);

void BM_Rsqrt_Table(benchmark::State& state) {
  auto in = random_positive();
  for (auto _ : state) {
    float sum = 0;
    for (float x : in) sum += fast_rsqrt(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Rsqrt_Table);

void BM_Rsqrt_Libm(benchmark::State& state) {
  auto in = random_positive();
  for (auto _ : state) {
    float sum = 0;
    for (float x : in) sum += 1.0f / std::sqrt(x);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Rsqrt_Libm);

// ---------------------------------------------------------------------------
// Vector normalise

void BM_Normalize_Game(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) src[i].normalized(v[i]);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Normalize_Game);

void BM_Normalize_TableRsqrt(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) src[i].scaled(v[i], fast_rsqrt(src[i].length_squared()));
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Normalize_TableRsqrt);

void BM_Normalize_Libm(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) {
      const vector& p = src[i];
      float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
      v[i].set(p.x / len, p.y / len, p.z / len);
    }
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Normalize_Libm);

// ---------------------------------------------------------------------------
// Matrix times vector

void BM_Rotate_Game(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  matrix m = matrix::from_angles(0.3f, 0.2f, 0.8f);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) src[i].rotated(v[i], m);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Rotate_Game);

void BM_Rotate_Plain(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  matrix m = matrix::from_angles(0.3f, 0.2f, 0.8f);
  float a[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) a[r][c] = m.m(r * 3 + c);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) {
      const float in[3] = {src[i].x, src[i].y, src[i].z};
      float out[3];
      for (int r = 0; r < 3; ++r) out[r] = a[r][0] * in[0] + a[r][1] * in[1] + a[r][2] * in[2];
      v[i].set(out[0], out[1], out[2]);
    }
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Rotate_Plain);

void BM_Unrotate_Game(benchmark::State& state) {
  auto src = random_vectors();
  std::vector<vector> v(N);
  matrix m = matrix::from_angles(0.3f, 0.2f, 0.8f);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) src[i].unrotated(v[i], m);
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Unrotate_Game);

// ---------------------------------------------------------------------------
// Quaternion slerp

std::vector<quaternion> random_quaternions() {
  os_srand(99);
  std::vector<quaternion> q(N);
  for (auto& r : q) {
    vector axis = vector::random_unit();
    float half = frand_range(-1.5f, 1.5f);
    float s = std::sin(half);
    r.set(axis.x * s, axis.y * s, axis.z * s, std::cos(half));
  }
  return q;
}

void BM_Slerp_Game(benchmark::State& state) {
  auto q = random_quaternions();
  std::vector<quaternion> out(N);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) quaternion_slerp(out[i], q[i], q[(i + 1) & (N - 1)], 0.37f);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Slerp_Game);

void BM_Slerp_Libm(benchmark::State& state) {
  auto q = random_quaternions();
  std::vector<quaternion> out(N);
  const float t = 0.37f;
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) {
      const quaternion& a = q[i];
      quaternion b = q[(i + 1) & (N - 1)];
      float c = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
      if (c < 0) {
        c = -c;
        b.set(-b.x, -b.y, -b.z, -b.w);
      }
      float s0 = 1 - t, s1 = t;
      if (c < 0.999999f) {
        float th = std::acos(c), s = std::sin(th);
        s0 = std::sin((1 - t) * th) / s;
        s1 = std::sin(t * th) / s;
      }
      out[i].set(s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z, s0 * a.w + s1 * b.w);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Slerp_Libm);

void BM_Slerp_Packed(benchmark::State& state) {
  auto q = random_quaternions();
  std::vector<packed_quaternion> p(N), out(N);
  for (int i = 0; i < N; ++i) p[i].from_quaternion(q[i]);
  for (auto _ : state) {
    for (int i = 0; i < N; ++i) packed_quaternion_slerp(out[i], p[i], p[(i + 1) & (N - 1)], 0.37f);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Slerp_Packed);

// ---------------------------------------------------------------------------
// 3-D noise

void BM_Noise3d_Game(benchmark::State& state) {
  auto pts = random_vectors();
  for (auto _ : state) {
    float sum = 0;
    for (const vector& p : pts) sum += noise_3d(p.x * 0.1f, p.y * 0.1f, p.z * 0.1f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Noise3d_Game);

// The same lattice noise written the plain way: floor() for the cell and a
// modulo for the wrap, tables of its own.
struct PlainNoise {
  int p[512];
  float g[256][3];
  PlainNoise() {
    os_srand(1);
    for (int i = 0; i < 256; ++i) {
      p[i] = i;
      float x = frand_range(-1, 1), y = frand_range(-1, 1), z = frand_range(-1, 1);
      float len = std::sqrt(x * x + y * y + z * z);
      g[i][0] = x / len;
      g[i][1] = y / len;
      g[i][2] = z / len;
    }
    for (int i = 255; i > 0; --i) std::swap(p[i], p[os_rand() % (i + 1)]);
    for (int i = 0; i < 256; ++i) p[256 + i] = p[i];
  }
  static float fade(float t) { return t * t * (3 - 2 * t); }
  float grad(int h, float x, float y, float z) const { return g[h][0] * x + g[h][1] * y + g[h][2] * z; }
  float operator()(float x, float y, float z) const {
    float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    int X = static_cast<int>(std::fmod(fx, 256.0f) + 256) % 256;
    int Y = static_cast<int>(std::fmod(fy, 256.0f) + 256) % 256;
    int Z = static_cast<int>(std::fmod(fz, 256.0f) + 256) % 256;
    x -= fx;
    y -= fy;
    z -= fz;
    float u = fade(x), v = fade(y), w = fade(z);
    int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z, B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
    auto lerp = [](float t, float a, float b) { return a + t * (b - a); };
    return lerp(w,
                lerp(v, lerp(u, grad(p[AA] & 255, x, y, z), grad(p[BA] & 255, x - 1, y, z)),
                     lerp(u, grad(p[AB] & 255, x, y - 1, z), grad(p[BB] & 255, x - 1, y - 1, z))),
                lerp(v, lerp(u, grad(p[AA + 1] & 255, x, y, z - 1), grad(p[BA + 1] & 255, x - 1, y, z - 1)),
                     lerp(u, grad(p[AB + 1] & 255, x, y - 1, z - 1), grad(p[BB + 1] & 255, x - 1, y - 1, z - 1))));
  }
};

void BM_Noise3d_Plain(benchmark::State& state) {
  auto pts = random_vectors();
  PlainNoise noise;
  for (auto _ : state) {
    float sum = 0;
    for (const vector& p : pts) sum += noise(p.x * 0.1f, p.y * 0.1f, p.z * 0.1f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * N);
}
BENCHMARK(BM_Noise3d_Plain);

}  // namespace
