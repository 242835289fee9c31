#pragma once
// Polygons over bitmaps larger than the card's largest texture. Such a bitmap
// is held by a renderer as a grid of tiles; a polygon may be drawn with one
// tile only, so polygons crossing a 256-texel tile line are cut first and
// each piece is drawn with the tile under it.
//
// The rule a caller must know: the pieces are drawn through
// gr_draw_polygon_layers, and the vertices a cut makes come from a small
// supply of this module that the next call reuses.
#include "quarn/gr/gr.h"

// Pieces per call and vertices per piece; a polygon that would need more is
// drawn with the cuts made so far (the rest of it uncut), never written past
// these arrays.
#define MAX_TILE_PIECES 64
#define MAX_TILE_PIECE_VERTS 32
// New vertices per call: two per cut.
#define MAX_TILE_NEW_VERTS (2 * MAX_TILE_PIECES)

// Cuts the polygon along the tile lines of every layer that uses its own
// texture coordinates, then draws every piece. Returns the number of pieces
// drawn (0 when the input was refused: fewer than 3 or more than
// MAX_TILE_PIECE_VERTS vertices).
int gr_draw_polygon_tiled(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers);

// The same cut without drawing: the pieces are handed to `draw` one by one
// (tests and renderers that draw pieces themselves use it).
using GrTilePieceFn = void (*)(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers,
                              void* context);
int gr_cut_polygon_tiles(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers,
                         GrTilePieceFn draw, void* context);

// The tile a polygon is drawn with for one layer. *width and *height hold the
// bitmap's size on entry and the tile's (the largest texture's) size on
// return. A renderer draws with u' = (u - u offset) * u scale, likewise v.
int gr_tile_for_polygon(int count, GrLayeredVertex** verts, int layer, int* width, int* height,
                        float* u_offset, float* v_offset, float* u_scale, float* v_scale);
