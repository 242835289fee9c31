#pragma once
// Rays and moving spheres against the loaded level. Each mesh instance is
// tested in its own mesh space through its mesh's collision tree; the
// nearest contact over all instances is reported.
#include <cstdint>

#include "Engine/s3d/s3d.h"

// Options of a query.
constexpr uint32_t CQ_FIRST_INSTANCE = 0x1;  // stop at the first instance with a contact
constexpr uint32_t CQ_ONE_FACE = 0x2;        // test only query.face
constexpr uint32_t CQ_LIMIT = 0x4;           // stop once a contact is nearer than query.limit
// Below this radius a query is a ray.
constexpr float COLLIDE_RAY_RADIUS = 0.0001f;
// How near a plane the segment must pass for the walk to look at both sides.
constexpr float COLLIDE_TOLERANCE = 0.03f;

struct CollisionQuery {
  vector start;
  vector delta;   // the segment runs from start to start + delta
  float radius;
  uint32_t options;
  uint32_t include;  // an instance is tested only with all these flags
  uint32_t exclude;  // and never with any of these
  float limit;
  const LevelFace* face;  // for CQ_ONE_FACE
  vector local_start;     // written per instance: the segment in mesh space
  vector local_delta;
};

struct CollisionResult {
  int count;
  float fraction;  // along the segment, 0 to 1
  vector point;    // in the mesh space of the instance hit
  vector normal;   // the face normal turned toward the query (kind 0 only)
  int kind;        // 0 a face's interior, 1 a sphere met an edge or corner
  int instance;
  const LevelFace* face;
};

void collide_level(CollisionQuery* query, CollisionResult* result);
// collide_level finds instances through boxes made from their placements at
// its first query on a level. Whatever moves an instance afterwards (a door,
// a lift) announces it here, or rays go on meeting it where it stood.
void collide_instance_moved(int instance);
// The level was loaded, cleared or rebuilt in place: every box is made anew.
void collide_level_changed();
// One instance; reset clears the result first.
void collide_mesh(int instance, CollisionQuery* query, CollisionResult* result, int reset);
// The light at a point: always white.
void collide_get_light(const vector& point, int* r, int* g, int* b);
// The instance and face of the last accepted contact.
extern int Collide_last_instance;
extern const LevelFace* Collide_last_face;

// A tree node's plane normal from its quantised word.
vector collide_node_normal(uint32_t word0);
// The quantised word of a normal (what the node stores).
uint32_t collide_quantise_normal(const vector& n);
