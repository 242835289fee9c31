#pragma once
// A quantity approaching a target exponentially, in closed form, so a speed
// and the distance it covers over a frame come out exact whatever the frame
// time.

// Value after time t of a quantity starting at b approaching a with time
// constant tau, and its integral over [0, t]. tau < 0.0001 is an instant
// change. Null outputs are skipped.
void exp_approach(float tau, float a, float b, float t, float* value, float* integral);
