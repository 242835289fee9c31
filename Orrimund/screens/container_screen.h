#pragma once
// The container screen (4): a panel over the world listing the items of an
// opened bag, backpack or chest, each with a mark (all marked on open);
// the tick takes the marked items into the party inventory.
class container_object;

void container_screen_register();
// The container shown, null when the screen is closed or it went away.
container_object* container_screen_shown();
