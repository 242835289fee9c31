#pragma once
// The parts of path following that look at the level's graph: keeping a
// path short (dropping nodes the entity already sees), repairing it when a
// wall or an avoidance area now stands across the next leg, the probe that
// turns a walker back toward its node before it runs into a wall, the
// wobble that keeps walkers from moving like rails with its look-ahead that
// pulls them back to their path, and the shut-door test. ai_follow_path
// (ai_behaviour.h) calls them once a frame. Without a loaded graph there is
// nothing to cross, so they leave the path alone.
#include "Engine/ai/ai_component.h"
#include "Engine/ai/path_graph.h"

// Path flags of the AI component.
constexpr uint8_t PF_STAND = 0x01;         // stand this frame (still turning, or the node lies behind)
constexpr uint8_t PF_SIDE_STEP = 0x02;     // a side-step round an obstacle edge is active
constexpr uint8_t PF_NO_WOBBLE = 0x08;     // no wandering wobble for this path
constexpr uint8_t PF_AREA_BLOCKED = 0x10;  // the next leg is blocked by an avoidance area

// The nearest crossing of a segment with a wall (or an avoidance polygon's
// edge) that faces it: the edge's ends in its own order, the squared
// distance of the crossing from the segment start, and the sector it lies in.
struct PathCrossing {
  bool found = false;
  bool area = false;  // an avoidance polygon's edge, else an obstacle wall
  PathPoint a{0, 0}, b{0, 0};
  float dist_sq = 0.0f;
  int sector = -1;
};

// Follows the segment from `from` along `d` across the portals of the size
// class, starting in `sector`, and keeps the nearest crossing with a wall
// that faces the segment (and, with `areas`, with an edge of an active
// avoidance polygon). Edges the segment leaves through, or only touches,
// do not count. True when any crossing was found.
bool path_crossing_test(const PathPoint& from, const PathPoint& d, int size_class, int sector, bool areas,
                        PathCrossing* out);

// The shortcut, every 1000 ms: drops the first node when the entity already
// sees the second.
void ai_path_shortcut(ai_component* ai);
// The blocking test, every 1000 ms (200 ms for a hero): when a wall or an
// avoidance area now stands between the entity and its first node, a corner
// of the crossed edge that sees the node becomes a detour node; otherwise an
// area holds the entity (PF_AREA_BLOCKED) and a wall makes it plan anew.
void ai_path_blocking_test(ai_component* ai);
// The probe ahead of a moving entity: a wall edge nearer than the distance
// left turns it back toward its first node (standing when the edge is nearer
// than 1.0) and stops steering round others for 500 ms. True when it found
// one; the travel target is then the first node. `speed` is the entity's
// present speed, `max_speed` the one it walks the path at.
bool ai_side_step_check(ai_component* ai, const vector& node, float distance_left, float speed, float max_speed);
// The wobble (scale 0.5): a damped random drift of the aim two units ahead.
void ai_wobble(ai_component* ai, float scale);
// The wobble and its look-ahead run only while this is set (ai_wander
// still turns them off). It is clear: followers keeping to their leader's
// track with the look-ahead are held against the wall faces beside a
// doorway (the probe ahead stands them at the face each frame), so the
// party no longer gets through one.
extern bool Ai_wobble_on;

// Whether the way ahead of the walker (from where it stands over the path's
// next five legs, as far as the look-ahead sees) comes within reach of an
// active avoidance area or script barrier of its size class. The path goes
// round them, often along their very edge, and nothing in the movement stops
// a walker at them, so near one it walks straight at its nodes instead of
// wandering: the wobble strays up to 1.2 off the path, and the look-ahead
// pulls back across the inside of each bend, where the area lies.
bool ai_path_near_avoidance(const ai_component* ai);
// Pulls the travel target back to the nearest point of the path's first
// five legs when the point the entity is about to reach strays farther than
// the squared tolerance from them.
void ai_wobble_look_ahead(ai_component* ai, const vector& leg_dir, float tolerance, float speed, float max_speed);
// True when a door that is not open enough stands across the way to one of
// the path's nodes within the entity's stopping distance, reach and 2.0.
bool ai_path_door_shut(ai_component* ai);
