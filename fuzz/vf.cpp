// Fuzz target: the .vf font reader and glyph packing, from bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "quarn/gr/gr_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  const int rc = gr_font_check_image(data, size, &why);
  // Every refusal says why.
  if (rc != 0 && why.empty()) __builtin_trap();
  return 0;
}
