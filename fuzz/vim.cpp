// Fuzz target: the .vim mesh reader, from bytes. A mesh that loads is walked
// the way the drawer and the poser walk it, so a bad index shows up here.
#include <cstddef>
#include <cstdint>

#include "bm_fuzz_util.h"
#include "quarn/ca/ca_internal.h"
#include "quarn/ca/vim.h"
#include "quarn/os/stringpool.h"
#include "quarn/os/error.h"
#include "quarn/vfile/readstream.h"

namespace {
// The bitmap manager treats a missing PCX file as fatal, as the game does; a
// mesh naming one ends that input here instead of the fuzzing run.
struct Fatal {};
void throw_fatal(const char*, int, const char*, const char*) { throw Fatal{}; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bm_fuzz_root();
  critical_error_set_handler(throw_fatal);
  ca_detail::names().reset();
  bm_set_mark();
  ReadStream s;
  s.open_memory(data, static_cast<int>(size));
  VimMesh* m = nullptr;
  try {
    m = vim_load_stream(s, -1);
  } catch (const Fatal&) {
    bm_release_from_mark();
    return 0;
  }
  if (m) {
    volatile float sink = 0;
    for (int g = 0; g < m->group_count; ++g) {
      const VimGroup& gr = m->groups[g];
      for (int f = 0; f < gr.face_count; ++f) {
        for (uint32_t v : gr.faces[f].v) sink = sink + gr.positions[v].x + gr.normals[v].y + gr.uvs[2 * v];
      }
      for (int v = 0; v < gr.vertex_count; ++v) {
        if (gr.dup_map[v] > 0) sink = sink + gr.positions[v - gr.dup_map[v]].z;
        if (gr.skin && m->bone_part.bone_count > 0) sink = sink + m->bone_part.bones[gr.skin[v * 8 + 4]].value;
      }
      for (int k = 0; gr.morph_map && k < m->morph_vertex_count; ++k) {
        if (gr.morph_map[k] >= 0) sink = sink + gr.positions[gr.morph_map[k]].x;
      }
    }
    for (int b = 0; b < m->bone_part.bone_count; ++b) {
      for (int p = m->bone_part.bones[b].parent; p >= 0; p = m->bone_part.bones[p].parent) sink = sink + 1;
    }
    for (int t = 0; t < m->bone_part.bone_tag_count; ++t) sink = sink + m->bone_part.bones[m->bone_part.bone_tags[t].parent].value;
    for (int t = 0; t < m->tag_count; ++t) sink = sink + vim_find_tag(m, m->tags[t].name);
    vim_free(m);
  }
  bm_release_from_mark();
  return 0;
}
