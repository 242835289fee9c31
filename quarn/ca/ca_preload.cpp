#include "quarn/ca/ca_preload.h"

#include "quarn/vfile/preload.h"
#include "quarn/ca/skeleton.h"
#include "quarn/ca/vim.h"
#include "quarn/vfile/readstream.h"

namespace {

// The target is the skeleton the caller made for this file; it keeps the
// file's name, so a refused read is reported under the right name.
bool preload_animation(const uint8_t* data, int size, void* target) {
  if (!target) return false;
  auto* sk = static_cast<skeleton*>(target);
  ReadStream s;
  s.open_memory(data, size);
  return sk->read_mvf(s, sk->file_name, 0);
}

void* preload_mesh(const uint8_t* data, int size) {
  ReadStream s;
  s.open_memory(data, size);
  return vim_load_stream(s);
}

}  // namespace

void character_preload_install() {
  PreloadBuilders b = preload_builders();
  b.animation_read = preload_animation;
  b.mesh_read = preload_mesh;
  preload_set_builders(b);
}
