#pragma once
// Single-instance guard: an flock'ed file in the configuration directory
// ($XDG_CONFIG_HOME, default ~/.config, then /<company>/<application>/).
// Copies that use different configuration directories run side by side.
#include <string>

// The configuration directory of the program (created when missing).
std::string platform_config_dir(const char* company, const char* application);

// Takes the lock. Returns true when this process now owns it, false when
// another process holds it. A lock file that cannot be created at all is
// treated as "no other copy" (the guard must not keep the game from starting).
bool platform_instance_lock_acquire(const std::string& config_dir);
// Releases the lock (the file stays).
void platform_instance_lock_release();
// The path of the lock file used by the last acquire (empty before).
const std::string& platform_instance_lock_path();
