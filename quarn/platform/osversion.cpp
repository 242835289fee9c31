#include "quarn/platform/osversion.h"

PlatformOsVersion platform_os_version() { return PlatformOsVersion{2, 5, 1}; }
