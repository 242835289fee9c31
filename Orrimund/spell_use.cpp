#include "Orrimund/spell_use.h"

#include <initializer_list>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/screens.h"
#include "quarn/os/console.h"

namespace {

// The spells a player casts by choosing them; the rest come from items,
// skills and the creatures' own minds.
bool player_castable(int spell) {
  for (int s : {0, 1, 2, 3, 7, 8, 11, 15, 25, 26})
    if (s == spell) return true;
  return false;
}

}  // namespace

bool spell_use_can_cast(living_entity* caster, int spell) {
  if (game_is_networked() || !caster || !player_castable(spell)) return false;
  if ((caster->state & ES_HELD) || ai_is_casting(&caster->ai)) return false;
  const int cls = Spells[spell].spell_class;
  if (cls < 0 || cls >= NUM_SPELL_CLASSES) return false;
  // Action points, cooling down, the school and its level.
  return caster->can_cast_spell(spell);
}

bool spell_use_cast(living_entity* caster, int spell) {
  if (!spell_use_can_cast(caster, spell)) return false;
  if (screen_get_current() != SCREEN_HUD) set_screen(SCREEN_HUD, nullptr);
  const uint32_t flags = Spells[spell].flags;
  Hud_pending = HudPending{};
  Hud_pending.spell = spell;
  pick_filter_for_spell(spell);
  if (flags & SPELL_TARGET_CHARACTER) {
    Hud_targeting = TARGETING_CREATURE;
  } else if (flags & SPELL_TARGET_LOCATION) {
    Hud_targeting = TARGETING_POINT;
  } else {
    Hud_pending = HudPending{};
    ai_queue_action4(&caster->ai, spell, caster->handle, WALK_ORDER_PRIORITY);
  }
  return true;
}

namespace {

// Developers and tests put a spell on a hot button of the selected hero, as
// a drag from the spells screen does.
ConsoleCommand cc_hot_button("hot_button", "Puts a spell (number) on a hot button (1-6) of the selected hero", [] {
  console_get_arg(ARG_INT);
  const int slot = Console_arg.int_value - 1;
  console_get_arg(ARG_INT);
  const int spell = Console_arg.int_value;
  if (!Console_run) return;
  const int sel = front().party_selected();
  if (sel < 0 || sel >= 5 || slot < 0 || slot >= HUD_NUM_HOT || spell < 0 || spell >= MAX_SPELLS) {
    console_printf("No hot button %d for spell %d\n", slot + 1, spell);
    return;
  }
  for (HudHotButton& other : Hud_hot[sel])
    if (other.in_use && !other.is_skill && other.value == spell) other = HudHotButton{};
  Hud_hot[sel][slot] = HudHotButton{1, 0, spell};
  int x, y, w, h;
  hud_hot_rect(slot, &x, &y, &w, &h);
  console_printf("Hot button %d holds %s at %d %d size %d %d, %s now\n", slot + 1,
                 Spells[spell].name ? Spells[spell].name : "", x, y, w, h,
                 front().spell_usable(spell) ? "usable" : "not usable");
});

}  // namespace
