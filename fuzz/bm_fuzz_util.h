#pragma once
// Shared set-up of the bitmap fuzz targets: a scratch root for the file
// layer and a started bitmap manager, so inputs go through the real loader.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/vfile/vfile.h"

inline const std::string& bm_fuzz_root() {
  static const std::string root = [] {
    char tmpl[] = "/tmp/orrimund_bm_fuzz_XXXXXX";
    const char* dir = mkdtemp(tmpl);
    std::string r = dir ? std::string(dir) + "/" : std::string("/tmp/");
    vfile_set_root(r.c_str(), false);
    bm_init();
    return r;
  }();
  return root;
}

// Writes the input as <root>/<name>; false when it cannot.
inline bool bm_fuzz_write(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = bm_fuzz_root() + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Loads the file through the manager, locks every frame, and releases it all
// again (the mark also gives the name pool back).
inline void bm_fuzz_load_and_lock(const char* name) {
  bm_set_mark();
  const int h = bm_load(name);
  if (h >= 0) {
    const int frames = bm_get_frame_info(h);
    const int first = bm_get_entry(h)->kind == BM_KIND_ANIM ? h + 1 : h;
    for (int i = 0; i < frames; i++) {
      uint8_t* data = nullptr;
      uint8_t* palette = nullptr;
      const int format = bm_lock(first + i, &data, &palette);
      if (format != 0 && data) {
        // Touch the first and last byte the entry says it holds.
        const BitmapEntry* e = bm_get_entry(first + i);
        const size_t bytes = static_cast<size_t>(e->pixel_count) * bm_bytes_per_pixel(e->format);
        volatile uint8_t sink = bytes ? data[0] ^ data[bytes - 1] : 0;
        (void)sink;
      }
    }
    for (int i = 0; i < frames; i++) bm_unlock(first + i);
  }
  bm_release_from_mark();
}
