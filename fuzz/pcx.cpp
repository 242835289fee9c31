// Fuzz target: the PCX reader, from memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/bmpman/targautils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PcxHeader h;
  if (pcx_parse_header(data, size, &h) != PCX_ERROR_NONE) return 0;
  if (h.width < 1 || h.height < 1) return 0;
  const size_t bytes = static_cast<size_t>(h.width) * static_cast<size_t>(h.height);
  if (bytes > (4u << 20)) return 0;
  std::vector<uint8_t> pixels(bytes);
  uint8_t palette[768];
  const char* why = nullptr;
  const int rc = pcx_decode(data, size, pixels.data(), pixels.size(), palette, &why);
  if (rc != PCX_ERROR_NONE && !why) __builtin_trap();
  if (bytes > 1) pcx_decode(data, size, pixels.data(), bytes - 1, nullptr);
  return 0;
}
