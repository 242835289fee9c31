// Drives the typed memory-stream reader with arbitrary operations over
// arbitrary bytes: the first bytes choose the operations, the rest is the
// stream. Reads past the end must report an error, never overrun.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) {
    return 0;
  }
  size_t nops = data[0] % 32;
  if (nops + 1 > size) {
    nops = size - 1;
  }
  const uint8_t* ops = data + 1;
  // An exact-sized copy, so reading one byte too far is caught.
  std::vector<uint8_t> block(data + 1 + nops, data + size);
  ReadStream rs;
  rs.open_memory(block.empty() ? nullptr : block.data(), static_cast<int>(block.size()));
  char buf[64];
  for (size_t i = 0; i < nops; ++i) {
    int before = rs.tell();
    switch (ops[i] % 12) {
      case 0: rs.read_int(); break;
      case 1: rs.read_float(); break;
      case 2: rs.read_short(); break;
      case 3: rs.read_ushort(); break;
      case 4: rs.read_byte(); break;
      case 5: rs.read_ubyte(); break;
      case 6: { vector v; rs.read_vector(&v); break; }
      case 7: { quaternion q; rs.read_quaternion(&q); break; }
      case 8: {
        int cap = 1 + ops[i] / 12 % 63;
        rs.read_string(buf, cap);
        if (std::strlen(buf) >= static_cast<size_t>(cap)) std::abort();
        break;
      }
      case 9: rs.seek(ops[i] / 12, 0); break;
      case 10: rs.seek(ops[i] / 12, 1 + ops[i] % 2); break;
      case 11: {
        int n = ops[i] / 12;
        uint8_t tmp[32];
        int got = rs.read(tmp, n > 32 ? 32 : n);
        if (got != 0 && got != (n > 32 ? 32 : n)) std::abort();
        break;
      }
    }
    if (rs.tell() < 0 || rs.tell() > static_cast<int>(block.size())) std::abort();
    (void)before;
  }
  return 0;
}
