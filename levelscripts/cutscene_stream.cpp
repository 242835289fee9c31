#include "levelscripts/cutscene_stream.h"

#include "quarn/vfile/readstream.h"

bool cutscene_stream_read(ReadStream& s, CutsceneTracks& into) {
  const uint32_t magic = static_cast<uint32_t>(s.read_int());
  const uint32_t version = static_cast<uint32_t>(s.read_int());
  s.read_float();
  s.read_float();
  const int32_t count = s.read_int();
  if (s.error() || magic != CUTSCENE_STREAM_MAGIC || version < CUTSCENE_STREAM_MIN_VERSION || count < 1 ||
      count > MAX_CUTSCENE_TRACKS - into.count)
    return false;
  float offset = into.count > 0 ? into.tracks[into.count - 1].end : 0.0f;
  for (int i = 0; i < count; i++) {
    CampathTrack& t = into.tracks[into.count + i];
    t = CampathTrack();
    if (!t.campath_read(s, offset)) return false;
    offset = t.end;
  }
  into.count += count;
  into.end_time = offset;
  return true;
}
