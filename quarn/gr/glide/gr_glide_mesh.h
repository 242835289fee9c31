#pragma once
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_mesh.h"

// Draws one prepared mesh group with the bitmap's section 0 on unit 0.
// False (nothing drawn) when the bitmap cannot be bound.
bool gr_glide_mesh_draw(RenderStateWord state, int bitmap, const GrMeshScratch& scratch, int vertex_count);
