// RLS_SPL records as a peer may send them: any bytes are read into a known
// spell, source and outcome layout or refused, and a read record writes
// back to the same bytes when its unflagged fields are zero.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Engine/Objects/spell_cast.h"
#include "Engine/characterinfo/spells.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RlsSpl m;
  if (!rls_spl_read(data, static_cast<int>(size), &m)) return 0;
  const SpellRelease& r = m.release;
  if (r.spell < 0 || r.spell >= MAX_SPELLS || r.source < 0 || r.source > SS_WEAK || r.item) abort();
  uint8_t out[RLS_SPL_SIZE];
  rls_spl_write(r, m.caster_net, m.target_net, out);
  if (r.has_pos && r.has_orient && std::memcmp(out, data, RLS_SPL_SIZE) != 0) abort();
  rls_spl_received(data, static_cast<int>(size), [](int) -> living_entity* { return nullptr; });
  return 0;
}
