// Fuzz target: the PCX reader, from memory and through the bitmap manager
// (the header check at load, then the pixel read of a lock).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/bm_fuzz_util.h"
#include "quarn/bmpman/targautils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PcxHeader h;
  if (pcx_parse_header(data, size, &h) == PCX_ERROR_NONE && h.width >= 1 && h.height >= 1) {
    const size_t bytes = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
    if (bytes <= (4u << 20)) {
      // Exactly the image, so any write past it is caught.
      std::vector<uint8_t> pixels(bytes);
      uint8_t palette[768];
      const char* why = nullptr;
      const int rc = pcx_decode(data, size, pixels.data(), pixels.size(), palette, &why);
      if (rc != PCX_ERROR_NONE && !why) __builtin_trap();
      if (bytes > 1) pcx_decode(data, size, pixels.data(), bytes - 1, nullptr);
    }
  }
  if (size <= (1u << 16) && bm_fuzz_write("fuzz.pcx", data, size)) bm_fuzz_load_and_lock("fuzz.pcx");
  return 0;
}
