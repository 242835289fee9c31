// Developers' route to the hot buttons' spells.
#include "Engine/characterinfo/spells.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/hud.h"
#include "quarn/os/console.h"

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
