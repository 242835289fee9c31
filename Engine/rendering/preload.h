#pragma once
// The preload queue lives beside the file layer, so the core's asset code can
// use it; world code may still include it from here.
#include "quarn/vfile/preload.h"
