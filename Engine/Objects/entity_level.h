#pragma once
// The level services of living entities over the loaded level: floor rays
// through the collision queries, mesh layers from the pathfinding sectors,
// surfaces and light, and the "$player%02d" start points. Level loading
// installs them; obstacle queries stay with the navigation code.
void entity_use_loaded_level();
