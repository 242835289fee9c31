#pragma once
// The operating-system version as the game asks for it. We report the
// NT family at version 5.1: the version the game's checks accept.
struct PlatformOsVersion {
  int platform_id;  // 2: the NT family
  int major;
  int minor;
};

PlatformOsVersion platform_os_version();
