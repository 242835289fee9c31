#pragma once
// A cutscene's data streams: each begins with "CSCR", a version, two floats
// and a track count, then holds that many camera tracks. The tracks of all
// the cutscene's streams follow one another on one time line.
#include <cstdint>

#include "levelscripts/camera_track.h"

class ReadStream;

constexpr uint32_t CUTSCENE_STREAM_MAGIC = 0x52435343;  // "CSCR"
constexpr uint32_t CUTSCENE_STREAM_MIN_VERSION = 0x20000;
constexpr int MAX_CUTSCENE_TRACKS = 50;

struct CutsceneTracks {
  CampathTrack tracks[MAX_CUTSCENE_TRACKS];
  int count = 0;
  float end_time = 0.0f;  // the end of the last track read
};

// Appends one stream's tracks, each read with the end of the one before as
// its offset (0 for the cutscene's first). A wrong magic, an old version, no
// track, a track that does not read, or more tracks than the cutscene holds
// refuse the whole stream: false, and `into` keeps the tracks it had (the
// keys its read tracks took stay taken until campath_release_keys).
bool cutscene_stream_read(ReadStream& stream, CutsceneTracks& into);
