#pragma once
// One polygon-building interface for the 3D drawing code, with two
// behaviours: a translucent polygon is recorded into a byte-coded stream and
// drawn at the end of the frame, sorted farthest first; any other polygon is
// clipped (near plane included), projected and drawn at once.
//
// Calling order for one polygon: begin; for each pass: state, then for each
// vertex in order its vertex call (first pass only) and its uv, rgb and alpha
// calls as needed; end. The stream is replayed at gr_flip (and by
// gr_alpha_flush); the clip vertices are rebuilt at every 3D frame start.
#include <cstdint>

#include "quarn/gr/gr.h"

// The command stream and its record index.
#define ALPHA_STREAM_SIZE 131072
#define ALPHA_MAX_RECORDS 1023
// A polygon holds at most this many vertices and passes; more are refused
// (end answers false) rather than written past the polygon's arrays.
#define ALPHA_MAX_VERTS 32
#define ALPHA_MAX_PASSES GR_MAX_LAYERS
// New vertices that clipping one polygon may make.
#define ALPHA_MAX_CLIP_VERTS 64

// Commands of the stream; every record starts with BEGIN or BEGIN_FIXED and
// ends with END.
enum : uint8_t {
  ALPHA_CMD_BEGIN = 1,        // 8 bytes: op, mode, 2 spare, sort depth
  ALPHA_CMD_BEGIN_FIXED = 2,  // 12 bytes: as BEGIN, then the fixed depth
  ALPHA_CMD_VERTEX = 3,       // 16 bytes: op, clip codes, 2 spare, x, y, z
  ALPHA_CMD_STATE = 4,        // 16 bytes: op, stage, 2 spare, state word, bitmap, r, g, b, a
  ALPHA_CMD_UV = 5,           // 12 bytes: op, 3 spare, u, v
  ALPHA_CMD_RGB = 6,          // 4 bytes: op, r, g, b
  ALPHA_CMD_ALPHA = 7,        // 4 bytes: op, a, 2 spare
  ALPHA_CMD_END = 8           // 4 bytes: op, 3 spare
};
// The largest record a polygon within the limits above can make; a record
// may begin only while this much room is left, so no record is ever cut off
// by the end of the stream.
#define ALPHA_MAX_RECORD_BYTES \
  (12 + ALPHA_MAX_PASSES * 16 + ALPHA_MAX_VERTS * 16 + ALPHA_MAX_PASSES * ALPHA_MAX_VERTS * (12 + 4 + 4) + 4)
#define ALPHA_BEGIN_LIMIT (ALPHA_STREAM_SIZE - ALPHA_MAX_RECORD_BYTES)

void gr_alpha_poly_begin(bool translucent, float sort_depth, uint8_t mode, bool fixed_depth, float fixed_z);
// Opens the next pass.
void gr_alpha_poly_state(RenderStateWord state, int bitmap, int r, int g, int b, int a, int stage);
// The point is kept by pointer until end (in place) or copied (recorded).
void gr_alpha_poly_vertex(GrVertex* point);
void gr_alpha_poly_uv(float u, float v);
void gr_alpha_poly_rgb(int r, int g, int b);
void gr_alpha_poly_alpha(int a);
// True when the polygon was recorded or handled (drawn, or clipped away
// after a plane); false when rejected: wholly outside one view plane, no
// pass, or beyond the vertex, pass or clip-vertex limits.
bool gr_alpha_poly_end();

// Sorts and replays everything recorded, then empties the stream.
void gr_alpha_flush();
// The start of each 3D frame.
void gr_alpha_pool_reset();

// For tests and statistics: the stream written so far and the number of
// records in it.
const uint8_t* gr_alpha_stream(int* bytes_used);
int gr_alpha_record_count();
