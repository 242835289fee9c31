#pragma once
// Rivud's reward for the palace sneak: 200 with the servant's suit, 500
// without, plus 50 for each of the four attempts she did not use.
int sneak_reward(bool suit, int attempts);
// The exit hook OdrinExt02 and thalem3d share (the snow off).
void thalem3d_exit_shared();
