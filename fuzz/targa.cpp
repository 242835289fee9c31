// Fuzz target: the Targa reader, from memory and through the bitmap manager
// (header, then the pixel read of a lock).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/bm_fuzz_util.h"
#include "quarn/bmpman/targautils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TargaHeader h;
  if (targa_parse_header(data, size, &h)) {
    const size_t bytes = static_cast<size_t>(h.width) * h.height * (h.bits_per_pixel / 8);
    if (bytes <= (4u << 20) && bytes <= size * 512) {
      // Exactly the image, so any write past it is caught.
      std::vector<uint8_t> pixels(bytes);
      uint8_t palette[768];
      const char* why = nullptr;
      const int rc = targa_decode(data, size, pixels.data(), pixels.size(), palette, &why);
      if (rc != 0 && !why) __builtin_trap();
      if (rc == 0 && bytes > 0 && (h.bits_per_pixel == 24 || h.bits_per_pixel == 32)) {
        // What was read is written again the way screenshots are.
        const int bpp = h.bits_per_pixel / 8;
        std::vector<uint8_t> packed(targa_compress_bound(bytes / bpp, bpp));
        targa_compress(packed.data(), pixels.data(), bpp, bpp, static_cast<int>(bytes));
      }
    }
  }
  // A little smaller than the image: must be refused, not overrun.
  if (targa_parse_header(data, size, &h) && h.width && h.height &&
      static_cast<size_t>(h.width) * h.height <= (1u << 20)) {
    std::vector<uint8_t> small(static_cast<size_t>(h.width) * h.height / 2);
    targa_decode(data, size, small.data(), small.size(), nullptr);
  }
  if (size <= (1u << 16) && bm_fuzz_write("fuzz.tga", data, size)) bm_fuzz_load_and_lock("fuzz.tga");
  return 0;
}
