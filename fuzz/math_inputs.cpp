// Arbitrary values into the mathematics that sees data from files: packed
// rotations from animation keys, curve and clip point counts, the float text
// writer's buffer size, and float inputs of every kind (NaN, infinities,
// huge values). Every buffer is allocated at exactly its documented size so
// the sanitizers see any write or read past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "quarn/math/curves.h"
#include "quarn/math/exp_approach.h"
#include "quarn/math/floatops.h"
#include "quarn/math/matrix.h"
#include "quarn/math/noise.h"
#include "quarn/math/planeclip.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

namespace {

float any_float(FuzzedDataProvider& in) {
  uint32_t bits = in.ConsumeIntegral<uint32_t>();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

vector any_vector(FuzzedDataProvider& in) { return {any_float(in), any_float(in), any_float(in)}; }

packed_quaternion any_packed(FuzzedDataProvider& in) {
  return {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>(),
          in.ConsumeIntegral<int16_t>()};
}

void packed_ops(FuzzedDataProvider& in) {
  packed_quaternion a = any_packed(in), b = any_packed(in), c = any_packed(in), d = any_packed(in), out;
  float t = any_float(in);
  a.normalized(out);
  a.multiply(out, b);
  a.exp(out);
  a.log(out);
  packed_quaternion_dot(a, b);
  packed_quaternion_slerp(out, a, b, t);
  packed_quaternion_squad_tangent(out, a, b);
  quaternion q;
  packed_quaternion_squad(q, a, b, c, d, t);
  out.from_quaternion(q);
}

void float_ops(FuzzedDataProvider& in) {
  quaternion a{any_float(in), any_float(in), any_float(in), any_float(in)};
  quaternion b{any_float(in), any_float(in), any_float(in), any_float(in)};
  quaternion out;
  quaternion_slerp(out, a, b, any_float(in));
  quaternion_squad_tangent(out, a, b);
  matrix m{any_vector(in), any_vector(in), any_vector(in)};
  out.from_matrix(m);
  float p, bank, h;
  m.to_angles(p, bank, h);
  vector axis;
  float angle;
  m.to_axis_angle(axis, angle);
  matrix o = m;
  o.orthonormalize();
  m.invert();
  fround(any_float(in));
  atan2_fast(any_float(in), any_float(in));
  float v, area;
  exp_approach(any_float(in), any_float(in), any_float(in), any_float(in), &v, &area);
  noise_1d(any_float(in));
  noise_2d(any_float(in), any_float(in));
  noise_3d(any_float(in), any_float(in), any_float(in));
}

void text(FuzzedDataProvider& in) {
  float value = any_float(in);
  int size = in.ConsumeIntegralInRange<int>(0, 64);
  auto buf = std::make_unique<char[]>(size > 0 ? size : 1);
  int n = float_to_text(size > 0 ? buf.get() : nullptr, value, size);
  if (n < 0 || (size > 0 && (n > size - 1 || std::strlen(buf.get()) != static_cast<size_t>(n)))) __builtin_trap();
}

void curves(FuzzedDataProvider& in) {
  int n = in.ConsumeIntegralInRange<int>(-2, 30);
  std::vector<vector> pts(n > 0 ? n : 0);
  for (auto& p : pts) p = any_vector(in);
  catmull_rom_curve cr;
  cr.set(n, pts.empty() ? nullptr : pts.data());
  vector out;
  cr.evaluate(&out, any_float(in));
  bezier_curve bz;
  bz.set_values(n, pts.empty() ? nullptr : pts.data());
  bz.evaluate(&out, any_float(in));
  std::vector<const vector*> ptrs;
  for (auto& p : pts) ptrs.push_back(in.ConsumeBool() ? &p : nullptr);
  bz.set_points(n, ptrs.empty() ? nullptr : ptrs.data());
  bz.evaluate(&out, any_float(in));
}

void clipping(FuzzedDataProvider& in) {
  int count = in.ConsumeIntegralInRange<int>(0, 40);
  int planes_n = in.ConsumeIntegralInRange<int>(0, 40);
  auto pts = std::make_unique<vector[]>(count + 1);
  for (int i = 0; i < count; ++i) pts[i] = any_vector(in);
  auto planes = std::make_unique<plane[]>(planes_n + 1);
  for (int i = 0; i < planes_n; ++i) planes[i] = plane{any_vector(in), any_float(in)};
  auto out = std::make_unique<vector[]>(CLIP_POLYGON_MAX);
  int n = clip_polygon_to_planes(count, pts.get(), out.get(), planes.get(), planes_n);
  if (n < 0 || n > CLIP_POLYGON_MAX) __builtin_trap();
  if (count > 0 && planes_n > 0) {
    auto one = std::make_unique<vector[]>(count + 1);
    clip_polygon_by_plane(count, pts.get(), one.get(), planes[0]);
  }
  points_behind_all_planes(count, pts.get(), planes.get(), planes_n, any_float(in));
  sphere_touches_volume(any_vector(in), any_float(in), planes.get(), planes_n, any_float(in));

  int k = in.ConsumeIntegralInRange<int>(0, 40);
  int m = in.ConsumeIntegralInRange<int>(0, 40);
  auto clip = std::make_unique<vector2[]>(k > 0 ? k : 1);
  for (int i = 0; i < k; ++i) clip[i] = {any_float(in), any_float(in)};
  auto poly = std::make_unique<vector2[]>(m > 0 ? m : 1);
  for (int i = 0; i < m; ++i) poly[i] = {any_float(in), any_float(in)};
  auto out2 = std::make_unique<vector2[]>(CLIP_POLYGON_MAX);
  const vector2* result = nullptr;
  n = clip_polygon_2d(k, clip.get(), m, poly.get(), out2.get(), &result);
  if (n < 0 || n > CLIP_POLYGON_MAX) __builtin_trap();
  for (int i = 0; i < n; ++i) {
    volatile float x = result[i].x;
    (void)x;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  uint32_t state = os_rand_get_state();
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: packed_ops(in); break;
    case 1: float_ops(in); break;
    case 2: text(in); break;
    case 3: curves(in); break;
    default: clipping(in); break;
  }
  os_rand_set_state(state);
  return 0;
}
