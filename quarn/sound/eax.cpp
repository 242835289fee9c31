#include "quarn/sound/eax.h"

#include <strings.h>

#include "quarn/platform/dsound.h"
#include "quarn/sound/ds.h"

const char* const Eax_environment_names[26] = {
    "generic",    "paddedcell", "room",       "bathroom",      "livingroom",
    "stoneroom",  "auditorium", "concerthall", "cave",         "arena",
    "hangar",     "carpetedhallway", "hallway", "stonecorridor", "alley",
    "forest",     "city",       "mountains",  "quarry",        "plain",
    "parkinglot", "sewerpipe",  "underwater", "drugged",       "dizzy",
    "psychotic"};

namespace {
bool Eax_on = false;
DsPropertySet* Eax_props = nullptr;

// One four-byte listener property; -1 while reverberation is off.
int set_listener(uint32_t property, const void* value) {
  if (!Eax_on || !Eax_props) return -1;
  return ds_failed(Eax_props->set(DsPropertySetId::Eax20Listener, property, value, 4)) ? -1 : 0;
}
}  // namespace

bool eax_is_on() { return Eax_on; }

int eax_init() {
  if (Eax_on) return 0;
  Eax_props = ds_property_set();
  if (!Eax_props) return -1;
  uint32_t support = 0;
  DsResult r = Eax_props->query_support(DsPropertySetId::Eax20Listener, EAX_LISTENER_ALL, &support);
  const uint32_t both = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
  if (!ds_failed(r) && (support & both) == both) {
    Eax_on = true;
    eax_set_environment_index(8);
    return 0;
  }
  ds_disable_eax();
  return -1;
}

void eax_close() {
  Eax_on = false;
  Eax_props = nullptr;
}

int eax_set_environment(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < 26; ++i)
    if (strcasecmp(name, Eax_environment_names[i]) == 0) return eax_set_environment_index(i);
  return -1;
}

int eax_set_environment_index(int index) {
  int32_t v = index;
  return set_listener(EAX_LISTENER_ENVIRONMENT, &v);
}

int eax_set_decay_time(float seconds) {
  if (seconds < 0.1f) seconds = 0.1f;
  if (seconds > 20.0f) seconds = 20.0f;
  return set_listener(EAX_LISTENER_DECAY_TIME, &seconds);
}

void eax_buffer_no_reverb(DsBuffer* buffer) {
  if (!Eax_on || !buffer) return;
  void* p = nullptr;
  if (ds_failed(buffer->query_interface(DsInterface::PropertySet, &p))) return;
  auto* ps = static_cast<DsPropertySet*>(p);
  int32_t room = -10000;
  ps->set(DsPropertySetId::Eax20Buffer, EAX_BUFFER_ROOM, &room, 4);
  ps->release();
}
