#include "quarn/math/exp_approach.h"

#include <cmath>

void exp_approach(float tau, float a, float b, float t, float* value, float* integral) {
  if (tau >= 0.0001f) {
    // exp(-t / tau) as a power of two in extended precision.
    const long double log2e = 1.4426950408889634073599246810018921L;
    long double e = exp2l(-(static_cast<long double>(t) / tau) * log2e);
    if (value) *value = static_cast<float>(e * (static_cast<long double>(b) - a) + a);
    if (integral)
      *integral = static_cast<float>((1.0L - e) * (static_cast<long double>(b) - a) * tau +
                                     static_cast<long double>(a) * t);
    return;
  }
  if (value) *value = a;
  if (integral) *integral = a * t;
}
