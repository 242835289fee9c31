#pragma once
// The demo world's two levels, described once: the demo builder writes them,
// and tests and benchmarks build the very same levels.
#include "tools/writers/level_builder.h"

constexpr const char* DEMO_LEVEL_OUTDOOR = "demo_outdoor.s3d";
constexpr const char* DEMO_LEVEL_INDOOR = "demo_indoor.s3d";

// Open ground with two hamlets and a rock field, a ramp to a lookout,
// crates, a tower and a fence.
void demo_level_outdoor(LevelBuilder& b);
// Two rooms joined by a doorway with a sliding door, a ramp and a key.
void demo_level_indoor(LevelBuilder& b);
