// The recording renderer's installation point.
#include "quarn/gr/gr_recorder.h"

static GrRecorder* Recorder = nullptr;

void gr_set_recorder(GrRecorder* recorder) { Recorder = recorder; }
GrRecorder* gr_get_recorder() { return Recorder; }
