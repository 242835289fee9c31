// Mesh groups under Glide: the card has no index lists, so each face that
// survived culling goes as its own planar triangle over one vertex array.
#include "quarn/gr/glide/gr_glide_mesh.h"

#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/glide/gr_glide_tcache.h"

namespace {
GlideVertex Verts[GR_MESH_MAX_VERTS];
}  // namespace

bool gr_glide_mesh_draw(RenderStateWord state, int bitmap, const GrMeshScratch& s, int vertex_count) {
  if (vertex_count < 1 || vertex_count > GR_MESH_MAX_VERTS) return false;
  gr_glide_set_render_state(state);
  float ss = 0, ts = 0;
  if (!gr_glide_set_texture(0, bitmap, 0, &ss, &ts, 1)) return false;
  for (int i = 0; i < vertex_count; i++) {
    GlideVertex& v = Verts[i];
    v.x = s.position[i][0] + GR_GLIDE_SNAP_BIAS;
    v.y = s.position[i][1] + GR_GLIDE_SNAP_BIAS;
    v.r = s.colour[i][0];
    v.g = s.colour[i][1];
    v.b = s.colour[i][2];
    v.a = s.colour[i][3];
    v.oow = s.w[i];
    v.tmu[0].sow = ss * s.tex[i][0];
    v.tmu[0].tow = ts * s.tex[i][1];
    v.tmu[0].oow = s.w[i];
    v.tmu[1] = v.tmu[0];
  }
  for (int f = 0; f + 2 < s.index_count; f += 3) {
    const int idx[3] = {s.index[f], s.index[f + 1], s.index[f + 2]};
    Glide_api.grDrawPlanarPolygon(3, idx, Verts);
  }
  return true;
}
