// Spell outcomes as a peer sends them: any 52 bytes read into a record
// whose fields stay in range and which writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Engine/Objects/spell_outcome.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < SPELL_OUTCOME_WORDS * 4) return 0;
  const SpellOutcome o = spell_outcome_read(data);
  if (o.layout() < 0 || o.layout() > 63 || o.category() < 0 || o.category() > 7) abort();
  uint8_t out[SPELL_OUTCOME_WORDS * 4];
  spell_outcome_write(o, out);
  if (std::memcmp(out, data, sizeof out) != 0) abort();
  return 0;
}
