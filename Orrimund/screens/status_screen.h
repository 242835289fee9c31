#pragma once
// The status screen (2): one member's statistics, resistances and skills,
// with the unspent skill points to raise them; raised points are pending
// until the player leaves and accepts them.
void status_screen_register();
