#pragma once
// Smooth pseudo-random functions of one, two and three variables (gradient
// noise) for flickering and wavering. The tables are built from the shared
// random sequence on the first call of any of them, so the noise a run sees
// depends on how many numbers were drawn before that call. Main thread only.
#include "quarn/math/vector.h"

// 0 at every integer input. noise_1d lies roughly in [-1, 1], the others in a
// narrower band.
float noise_1d(float x);
float noise_2d(float x, float y);
float noise_3d(float x, float y, float z);
inline float noise_3d(const vector& p) { return noise_3d(p.x, p.y, p.z); }

// Forgets the tables so the next call builds them again from the sequence
// (for tests and replays that reseed).
void noise_reset();
