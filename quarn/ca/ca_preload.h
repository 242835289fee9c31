#pragma once
// Lets the asset preload queue turn read bytes into animations and meshes.
// Installed once at start-up, after the queue itself.
void character_preload_install();
