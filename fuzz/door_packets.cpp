// Door packets as a peer may send them: any length, any words. The handlers
// must refuse what names no door or no known answer, never read past the
// payload, and never touch a door outside the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Engine/Objects/doors.h"

namespace {
struct Door {
  bool open, locked;
};
Door Doors[3] = {{false, true}, {true, false}, {false, false}};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    DoorHooks h;
    h.find_door = [](int mesh, const char** name, float* d) {
      if (mesh < 0 || mesh >= 3) return false;
      *name = "door";
      *d = 0.5f;
      return true;
    };
    h.state_get = [](int mesh, bool* open, bool* locked) {
      if (mesh < 0 || mesh >= 3) std::abort();
      *open = Doors[mesh].open;
      *locked = Doors[mesh].locked;
    };
    h.state_set = [](int mesh, bool open, bool locked) {
      if (mesh < 0 || mesh >= 3) std::abort();
      Doors[mesh] = {open, locked};
    };
    doors_set_hooks(h);
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;
  // The first byte picks the handler, the rest is the payload.
  const uint8_t* payload = data + 1;
  const int n = int(size - 1);
  if (data[0] & 1) door_pick_received(payload, n);
  else door_toggle_received(payload, n);
  return 0;
}
