#pragma once
// 3D drawing on top of the view, the clipper and the buffered translucent
// polygons: lines with a per-renderer hand-off, polygons (translucent ones
// sorted far-first at the flip), clip-and-project for callers that draw
// themselves, camera-facing sprites, beams, and wire shapes and arrows for
// debugging.
//
// What a caller must know: operations that do not take a colour or bitmap
// use the screen record's current ones; off-screen, behind-the-eye or
// clipped-away geometry is simply not drawn (false or 0).
#include "quarn/gr/gr.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

// Whether callers may send polygons to the sort buffer (console
// use_buffered_alpha_polys); on from start-up.
extern bool Use_buffered_alpha_polys;
void gr_set_use_buffered_alpha_polys(bool on);

// The state every debug line is drawn with: untextured, alpha-blended, no
// depth test, so debug shapes show through the world.
extern const RenderStateWord Gr_debug_state;

// a and b in view space with clip codes set; false when nothing was drawn.
bool gr_3d_draw_line(const GrVertex& a, const GrVertex& b, RenderStateWord state);
bool gr_3d_draw_line_world(const vector& a, const vector& b, RenderStateWord state);
// The result of gr_alpha_poly_end.
bool gr_3d_draw_poly(int count, GrVertex** points, RenderStateWord state, bool fixed_depth = false,
                     float fixed_z = 0.0f);
// Clips and projects a polygon; `points` (room for `capacity` pointers) is
// replaced by the result, which may point into the clipper's pool until the
// pool is used again. Returns the new count, 0 when nothing is left or the
// result would not fit the caller's array.
int gr_3d_clip_project_poly(int count, GrVertex** points, int capacity);

bool gr_3d_draw_sprite(const vector& world, float angle, float size, RenderStateWord state);
bool gr_3d_draw_sprite_at(GrVertex& point, float angle, float size, RenderStateWord state);
bool gr_3d_draw_rect_sprite(const vector& world, float angle, float width, float height,
                            RenderStateWord state);
bool gr_3d_draw_rect_sprite_at(GrVertex& point, float angle, float width, float height,
                               RenderStateWord state);
// Always sorted with the translucent polygons.
bool gr_3d_draw_beam(const vector& a, const vector& b, float width, RenderStateWord state);
bool gr_3d_draw_sphere(const vector& center, float radius, RenderStateWord state);
bool gr_3d_draw_box(const vector& center, const matrix& orient, const vector& size, RenderStateWord state);

void gr_3d_debug_line(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b);
void gr_3d_debug_arrow(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b);
void gr_3d_debug_arrow_tip(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b);
void gr_3d_debug_axes(const vector& position, const matrix& orient, float length);

// Segments per circle of the wire sphere.
#define GR_SPHERE_MIN_SEGMENTS 5
#define GR_SPHERE_MAX_SEGMENTS 32
