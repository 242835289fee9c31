// Cutscene streams laid out byte by byte: "CSCR", version, two unused floats,
// a track count, then camera tracks (start, end, a third float, position
// keys of a tick and three vectors, rotation keys of a tick, a quaternion and
// five floats).
#include <gtest/gtest.h>

#include <vector>

#include "levelscripts/cutscene_stream.h"
#include "quarn/vfile/readstream.h"
#include "tests/support/le_bytes.h"
#include "tools/writers/cutscene_writer.h"

namespace {

using Bytes = LeBytes;

// Characters without their NUL.
Bytes& raw(Bytes& s, const char* text) {
  while (*text) s.u8(static_cast<uint8_t>(*text++));
  return s;
}

// A track from `start` to `end` s with one position key at x and one
// rotation key (no turn), both at the track's start.
Bytes& track(Bytes& s, float start, float end, float x) {
  s.f32(start).f32(end).f32(0.59f);
  s.u16(1).u32(static_cast<uint32_t>(start * 4800)).f32(x).f32(0).f32(0).f32(0).f32(0).f32(0).f32(0).f32(0).f32(0);
  s.u16(1).u32(static_cast<uint32_t>(start * 4800)).f32(0).f32(0).f32(0).f32(1);
  return s.f32(0).f32(0).f32(0).f32(0).f32(0);
}

Bytes header(uint32_t version, uint32_t count, const char* magic = "CSCR") {
  Bytes s;
  return raw(s, magic).u32(version).f32(1.5f).f32(-2.0f).u32(count);
}

Bytes with_track(Bytes s) {
  track(s, 0.0f, 1.0f, 0.0f);
  return s;
}

bool read(const Bytes& s, CutsceneTracks& into) {
  ReadStream rs;
  rs.open_memory(s.b.data(), static_cast<int>(s.b.size()));
  return cutscene_stream_read(rs, into);
}

class CutsceneStreams : public ::testing::Test {
 protected:
  void SetUp() override { campath_release_keys(); }
  void TearDown() override { campath_release_keys(); }
  CutsceneTracks tracks;
};

// Tracks of two streams follow on one time line: each is read with the end
// of the one before as its offset, so a track starting 0.4 s or more after
// that end is moved back to it.
TEST_F(CutsceneStreams, TracksOfEveryStreamFollowOneAnother) {
  Bytes first = header(0x20000, 2);
  track(first, 0.0f, 2.0f, 1.0f);
  track(first, 2.1f, 3.0f, 2.0f);  // 0.1 s after: kept
  Bytes second = header(0x20003, 1);
  track(second, 5.0f, 6.5f, 3.0f);  // 2 s after: moved to 3.0 .. 4.5
  ASSERT_TRUE(read(first, tracks));
  ASSERT_TRUE(read(second, tracks));
  ASSERT_EQ(tracks.count, 3);
  const float starts[] = {0.0f, 2.1f, 3.0f}, ends[] = {2.0f, 3.0f, 4.5f};
  for (int i = 0; i < 3; i++) {
    EXPECT_NEAR(tracks.tracks[i].start, starts[i], 1e-6) << i;
    EXPECT_NEAR(tracks.tracks[i].end, ends[i], 1e-6) << i;
    tracks.tracks[i].evaluate_at(tracks.tracks[i].start);
    EXPECT_NEAR(tracks.tracks[i].position().x, i + 1.0f, 1e-5) << i;
  }
  EXPECT_EQ(tracks.tracks[2].track.positions[0].tick, 3 * 4800);
  EXPECT_NEAR(tracks.end_time, 4.5f, 1e-6);
  EXPECT_EQ(campath_position_keys_used(), 3);
}

TEST_F(CutsceneStreams, ABadHeaderOrTrackRefusesTheStream) {
  Bytes good = header(0x20000, 1);
  track(good, 0.0f, 1.0f, 1.0f);
  ASSERT_TRUE(read(good, tracks));
  Bytes truncated_track = header(0x20000, 2);
  track(truncated_track, 1.0f, 2.0f, 1.0f);
  truncated_track.b.resize(truncated_track.b.size() + 1);  // the second track is one byte
  Bytes short_header = header(0x20000, 1);
  short_header.b.resize(8);
  struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"magic", with_track(header(0x20000, 1, "CSCX"))},
      {"version below 2.0", with_track(header(0x1FFFF, 1))},
      {"no track", header(0x20000, 0)},
      {"negative count", header(0x20000, 0xFFFFFFFFu)},
      {"more tracks than the cutscene holds", with_track(header(0x20000, MAX_CUTSCENE_TRACKS))},
      {"header cut short", short_header},
      {"track cut short", truncated_track},
  };
  for (auto& c : cases) {
    EXPECT_FALSE(read(c.bytes, tracks)) << c.what;
    EXPECT_EQ(tracks.count, 1) << c.what;
    EXPECT_NEAR(tracks.end_time, 1.0f, 1e-6) << c.what;
  }
}

// The writer makes the layout the reader takes (the demo's streams).
TEST_F(CutsceneStreams, WrittenStreamsReadBack) {
  CscTrack t{0.0f, 2.0f};
  t.positions = {{0, {4, 5, 6}, {4, 5, 6}, {4, 5, 6}}, {9600, {8, 5, 6}, {8, 5, 6}, {8, 5, 6}}};
  t.rotations = {{0, {0, 0, 0, 1}}};
  Bytes expected = header(0x20000, 1);
  expected.f32(0).f32(2).f32(0.59f).u16(2);
  expected.u32(0).f32(4).f32(5).f32(6).f32(4).f32(5).f32(6).f32(4).f32(5).f32(6);
  expected.u32(9600).f32(8).f32(5).f32(6).f32(8).f32(5).f32(6).f32(8).f32(5).f32(6);
  expected.u16(1).u32(0).f32(0).f32(0).f32(0).f32(1).f32(0).f32(0).f32(0).f32(0).f32(0);
  expected.b[8] = expected.b[9] = expected.b[10] = expected.b[11] = 0;  // the writer's unused floats are 0
  expected.b[12] = expected.b[13] = expected.b[14] = expected.b[15] = 0;
  EXPECT_EQ(cutscene_stream_bytes({t}), expected.b);
}

}  // namespace
