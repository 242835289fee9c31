// The AI queue's record as it arrives from a save or a peer: any bytes give
// a queue of known order types or no change, never a read past the record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Engine/ai/ai_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ai_component ai;
  if (ai_queue_read(&ai, data, size) == 0) return 0;
  for (const ai_action& a : ai.queue)
    if (a.type < 0 || a.type > 17) abort();
  ai_queue_execute(&ai);
  ai_queue_sort(&ai);
  uint8_t out[AI_QUEUE_RECORD_BYTES];
  if (ai_queue_write(&ai, out, sizeof out) != sizeof out) abort();
  ai_queue_clear(&ai);
  return 0;
}
