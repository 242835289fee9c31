#pragma once
// The pool of dynamic lights that light meshes per vertex: point lights and
// spot lights, an ambient colour, and a stack of per-object lists of the
// lights that reach an object, ranked by strength and capped.
//
// The rule a caller must know: every lights_gather is matched by one
// lights_pop; the colour of a vertex is taken from the top of the stack.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define MAX_DYN_LIGHTS 400
// Gathered levels above level 0 (one per object drawn inside another);
// deeper gathers are refused and their pops ignored.
#define MAX_LIGHT_GATHER_DEPTH 8

// Kinds (bits 0-13 of the type word) and flags.
enum : uint16_t {
  LIGHT_KIND_FREE = 0,
  LIGHT_KIND_POINT = 2,
  LIGHT_KIND_SPOT = 3,
  LIGHT_KIND_MASK = 0x3fff,
  LIGHT_ENABLED = 0x4000,
  LIGHT_STATIC = 0x8000
};

struct DynLight {
  DynLight* next;
  DynLight* prev;
  uint16_t type;
  vector position;
  vector target;
  float inner_angle, outer_angle;
  float radius, outer_radius;
  float r, g, b;  // multiplied by the intensity
  vector view_position, view_target;
  float radius_sq, outer_radius_sq;
  float inner_cos, outer_cos;  // -cos(angle / 2)
  int bitmap;
  matrix projection;
  float strength;
};

void lights_reset();
// Index of the new light, or -1 when all MAX_DYN_LIGHTS are in use.
int light_create_point(const vector& position, float radius, float outer_radius, float intensity, float r,
                       float g, float b, bool is_static);
int light_create_spot(const vector& position, const vector& target, float inner_angle, float outer_angle,
                      float radius, float outer_radius, float intensity, float r, float g, float b,
                      bool is_static, int bitmap = -1, const matrix* projection = nullptr);
void light_kill(int index, bool unlock = false);

bool light_get_position(int index, vector& out);
void light_set_position(int index, const vector& position);
void light_set_enabled(int index, bool on);
bool light_get_enabled(int index);
void light_set_static(int index, bool on);
bool light_get_static(int index);
void light_set_radii(int index, float radius, float outer_radius);
bool light_get_radii(int index, float& radius, float& outer_radius);
// Intensity is reported as 1 with the premultiplied colour.
bool light_get_colour(int index, float& intensity, float& r, float& g, float& b);
// The intensity is folded into the colour, as light_create_point does.
void light_set_colour(int index, float intensity, float r, float g, float b);
// Spot lights only; other kinds report target (1, 0, 0) and cone 0 and 2 pi.
void light_set_target(int index, const vector& target);
void light_get_target(int index, vector& out);
void light_set_cone(int index, float inner_angle, float outer_angle);
void light_get_cone(int index, float& inner_angle, float& outer_angle);
void lights_set_all_enabled(bool on);
const DynLight* light_get(int index);

void lights_set_ambient(float r, float g, float b);
void lights_get_ambient(float& r, float& g, float& b);
void lights_set_max_per_object(int n);
void lights_set_gather_static(bool on);
// When on, contributions use the view (or object) positions that
// lights_to_view or lights_to_frame filled.
void lights_set_view_space(bool on);
// Raised whenever a non-static light changes, the pool is reset or the
// ambient is set.
uint32_t lights_change_count();
int lights_used_count();

// Pushes the lights of the level below that reach the sphere at `point`
// (enabled, point or spot, static only when gathered), strongest first,
// capped; returns the count, 0 when refused for depth.
int lights_gather(const vector& point, float radius = 0.0f);
void lights_pop();
int lights_gather_depth();
// Top-level lights into view space (relative to the eye, turned by the view).
void lights_to_view();
// Top-level lights into an object's frame (position, orientation), where a
// mesh's vertices are lit.
void lights_to_frame(const vector& position, const matrix& orient);

int lights_count();
const DynLight* light_at(int i);
bool light_info(int i, vector& position, float& radius, float& outer_radius, float& r, float& g, float& b,
                bool& is_static);

// The lit colour of a vertex as bytes. Static lights count only with
// include_static; the others only when ambient is used.
void light_vertex_colour(uint8_t& r, uint8_t& g, uint8_t& b, const vector& point, const vector* normal,
                         bool include_static, bool no_ambient, int flags = 0);
// One light's contribution at a point (normal may be null).
void light_contribution(const DynLight& light, const vector& point, const vector* normal, float& r, float& g,
                        float& b);
// Environment-map coordinates of a reflection off the point.
void light_sphere_map(float& u, float& v, const vector& point, const vector& normal);
void lights_debug_draw();

struct LightStats {
  int calls;
  int visited;
};
extern LightStats Light_stats;
