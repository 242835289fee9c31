// Player files as they come from a players' folder: any bytes give a hero
// or a refusal code, never a read past the file; what is read writes back
// to the same bytes.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Orrimund/player/plr_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const int n = static_cast<int>(size);
  PlrHeader h;
  const int header = plr_decode_header(data, n, &h);
  PlrData d;
  const int code = plr_decode(data, n, &d);
  if (code < PLR_OK || code > PLR_MALFORMED || header < PLR_OK || header > PLR_MALFORMED) abort();
  if (code != PLR_OK) return 0;
  if (header != PLR_OK) abort();
  if (d.inventory.size() > PLR_MAX_INVENTORY || d.chains.size() > PLR_MAX_CHAINS) abort();
  const std::vector<uint8_t> again = plr_encode(d);
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) abort();
  return 0;
}
