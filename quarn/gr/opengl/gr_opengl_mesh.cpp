// Mesh submission under OpenGL: the mesh drawer's scratch arrays as client
// vertex arrays, one glDrawElements per group.
#include <GL/gl.h>

#include "quarn/gr/opengl/gr_opengl.h"

namespace {

constexpr unsigned int QGL_TEXTURE0_ARB = 0x84C0;

const float (*Positions)[3] = nullptr;
const uint8_t (*Colours)[4] = nullptr;
const float (*Tex)[4] = nullptr;

}  // namespace

void gr_opengl_mesh_arrays(const float (*positions)[3], const uint8_t (*colours)[4], const float (*tex)[4]) {
  Positions = positions;
  Colours = colours;
  Tex = tex;
}

void gr_opengl_mesh_draw(RenderStateWord state, int bitmap, const uint16_t* indices, int index_count) {
  if (!Positions || !indices || index_count < 3) return;
  gr_opengl_flush_2d();  // 2D draws queued before the mesh stay before it
  gr_opengl_set_state_and_texture(state, bitmap, 0);
  // The 2D paths point the arrays elsewhere between meshes and groups.
  if (Gl_active_texture_arb) Gl_active_texture_arb(QGL_TEXTURE0_ARB);
  if (Gl_client_active_texture_arb) Gl_client_active_texture_arb(QGL_TEXTURE0_ARB);
  glTexCoordPointer(4, GL_FLOAT, 0, Tex);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Colours);
  glVertexPointer(3, GL_FLOAT, 0, Positions);
  glDrawElements(GL_TRIANGLES, index_count, GL_UNSIGNED_SHORT, indices);
}
