#include "Engine/gameflags.h"

uint32_t GameFlags = 0;
