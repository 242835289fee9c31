#pragma once
// The recording renderer: a renderer number (GR_RECORDER) whose operations go
// to an object that unit tests install, so the front end's arithmetic and the
// calls it makes can be checked without a display.
#include "quarn/gr/gr.h"

struct GrMeshScratch;

class GrRecorder {
 public:
  virtual ~GrRecorder() = default;
  virtual bool init(GrWindow) { return true; }
  virtual void close() {}
  virtual void flip() {}
  virtual void clear() {}
  virtual void clear_depth() {}
  virtual void set_clip() {}
  virtual void set_color() {}
  virtual void bitmap(int /*handle*/, int /*x*/, int /*y*/, int /*w*/, int /*h*/, int /*sx*/, int /*sy*/,
                      int /*sw*/, int /*sh*/, RenderStateWord) {}
  virtual void line(float, float, float, float, RenderStateWord) {}
  virtual void line3d(const GrVertex*, const GrVertex*, RenderStateWord) {}
  // One group of a mesh: its scratch arrays, the bitmap bound and the state.
  virtual void mesh_group(const GrMeshScratch&, int /*vertex_count*/, int /*bitmap*/, RenderStateWord) {}
  virtual void polygon(int /*count*/, GrVertex** /*verts*/, RenderStateWord) {}
  virtual void polygon_layers(int, GrLayeredVertex**, int, const GrLayer*) {}
  virtual void preload(int /*handle*/, int /*flag*/) {}
  virtual void texture_dirty(int) {}
  virtual void texture_release(int) {}
  virtual void flush_textures() {}
  virtual void fog_set(bool /*set_distances*/) {}
  virtual int read_screen(int, int, int, int, void*) { return 0; }
  virtual bool render_state_supported(RenderStateWord) { return true; }
  virtual int video_memory() { return 0; }
  virtual void set_antialiasing(bool) {}
  virtual void set_alpha_test(bool) {}
  virtual void set_window(GrWindow) {}
  virtual void show_desktop() {}
  virtual void finish() {}
};

// Installs the recorder that GR_RECORDER routes to (null: none; the
// operations then do nothing). The caller keeps ownership.
void gr_set_recorder(GrRecorder* recorder);
GrRecorder* gr_get_recorder();
