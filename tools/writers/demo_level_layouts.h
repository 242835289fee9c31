#pragma once
// The demo world's two levels, described once: the demo builder writes them,
// and tests and benchmarks build the very same levels.
#include "tools/writers/level_builder.h"

constexpr const char* DEMO_LEVEL_OUTDOOR = "demo_outdoor.s3d";
constexpr const char* DEMO_LEVEL_INDOOR = "demo_indoor.s3d";

// The outdoor ground's prelit colour at a world point: warm in the west,
// cold in the east.
void demo_outdoor_ground_colour(const vector& world, uint8_t* rgb);
// The colours of the indoor rooms' lightmaps.
constexpr int DEMO_ROOM_A_LIGHT[3] = {255, 170, 90};
constexpr int DEMO_ROOM_B_LIGHT[3] = {110, 150, 255};
// The centre of the lamp hanging in room A.
constexpr float DEMO_LAMP[3] = {-6.0f, 3.0f, 4.2f};
// The outdoor layout's automap corners (x, z): x grows to the map's left, so
// the upper left corner lies at the larger x. 80 units: 5 by 5 cells.
constexpr float DEMO_MAP_UPPER_LEFT[2] = {40.0f, -40.0f};
constexpr float DEMO_MAP_LOWER_RIGHT[2] = {-40.0f, 40.0f};

// Open ground with two hamlets and a rock field, a ramp to a lookout,
// crates, a tower and a fence.
void demo_level_outdoor(LevelBuilder& b);
// The new game's first level adds to the outdoor layout a walled pen west of
// the start whose gate (a sliding door, DEMO_PEN_GATE) faces the start; its
// level script locks the gate.
constexpr const char* DEMO_PEN_GATE = "pen_gate";
void demo_forest_pen(LevelBuilder& b);
// The navpoint behind the new game's start (x, z) where its level items lie,
// in one chest.
constexpr const char* DEMO_CAMP_CHEST = "$camp_chest";
constexpr float DEMO_CAMP_CHEST_AT[2] = {3.0f, -2.5f};
// Two rooms joined by a doorway with a sliding door, a ramp and a key.
void demo_level_indoor(LevelBuilder& b);
// A town of side x side blocks of 8 units, each a ground tile and a house
// (every other one turned), inside four walls: 2 side^2 + 4 instances at
// the same density whatever its size.
constexpr float DEMO_TOWN_BLOCK = 8.0f;
void demo_level_town(LevelBuilder& b, int side);

// The levels' visibility layers, as make_demo writes them beside the levels.
constexpr const char* DEMO_OUTDOOR_VIS =
    "$vis_set \"$layer1\" $high_camera \"$visTower\" \"$visLookout\"\r\n"
    "$vis_set \"$layer2\" $high_camera \"$visLookout\"\r\n"
    "$end\r\n";
constexpr const char* DEMO_INDOOR_VIS =
    "$vis_set \"$layer1\" $low_camera \"$visRoomA\" \"$visRoomB\"\r\n"
    "$vis_set \"$layer2\" $low_camera \"$visRoomA\"\r\n"
    "$vis_set \"$layer3\" $low_camera \"$visRoomB\"\r\n"
    "$end\r\n";
