// COM_SEQ records as a peer may send them: any bytes are read into a known
// attack or refused, and a read record writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Engine/Objects/combat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ComSeq c;
  if (!com_seq_read(data, static_cast<int>(size), &c)) return 0;
  if (c.variation > 5 || c.no_defence > 1 || c.attack_type < 0 || c.attack_type > CS_NONE) abort();
  uint8_t out[COM_SEQ_SIZE];
  com_seq_write(c, out);
  if (std::memcmp(out, data, COM_SEQ_SIZE) != 0) abort();
  com_seq_received(data, static_cast<int>(size), [](int) -> living_entity* { return nullptr; });
  return 0;
}
