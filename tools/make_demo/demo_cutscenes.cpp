// Demo step: the outdoor level's cutscene "demo_gate". The camera circles
// the party's start, always looking at it: six seconds on the east side,
// then a cut to the west side and a slow half circle of 24 seconds, while
// the leader stands at the gate navpoint and speaks two lines.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "tools/make_demo/demo_steps.h"
#include "tools/writers/cutscene_writer.h"
#include "tools/writers/table_writers.h"

namespace {

constexpr int TICKS = 4800;

// A camera key at `seconds` standing at angle `a` (radians, around the
// start) on a circle of radius 12, 5 units up, looking at the start.
void add_keys(CscTrack& t, float seconds, float a) {
  const vector eye{12.0f * std::sin(a), 5.0f, 12.0f * std::cos(a)};
  const vector target{0.0f, 1.0f, 0.0f};
  vector forward = target - eye;
  forward.normalize();
  const vector world_up{0.0f, 1.0f, 0.0f};
  vector right, up;
  world_up.cross(right, forward);
  right.normalize();
  forward.cross(up, right);
  quaternion q;
  q.from_matrix(matrix(right, up, forward));
  const int tick = static_cast<int>(std::lround(seconds * TICKS));
  t.positions.push_back({tick, {eye.x, eye.y, eye.z}, {0, 0, 0}, {0, 0, 0}});
  t.rotations.push_back({tick, {q.x, q.y, q.z, q.w}});
}

CscTrack arc(float start, float seconds, float from, float to) {
  CscTrack t{start, start + seconds, 0.59f, {}, {}};
  for (int i = 0; i <= 4; i++) add_keys(t, start + seconds * i / 4.0f, from + (to - from) * i / 4.0f);
  return t;
}

bool demo_build_cutscenes(const std::string& root) {
  constexpr float PI = 3.14159265f;
  const std::string dir = root + "/data/cutscenes/demo_gate/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::filesystem::create_directories(root + "/data/tables", ec);
  std::filesystem::create_directories(root + "/data/scripts", ec);
  const char* const table =
      "$Cutscene: \"demo_gate\"\r\n"
      "+Level: \"demo_outdoor\"\r\n"
      "+Stream: \"demo_gate.csc\"\r\n";
  // The leader is taken to the gate and speaks; the cutscene's end puts
  // him back where he stood.
  const char* const script =
      "$Level: \"demo_outdoor\"\r\n"
      "#Navpoints\r\n$Num navpoints: 1\r\n"
      "$Name: \"gate_stand\"\r\n$Position: <2.0, 0.0, 3.0>\r\n"
      "$Orientation: [<1.0, 0.0, 0.0>, <0.0, 1.0, 0.0>, <0.0, 0.0, 1.0>]\r\n"
      "#Objects\r\n"
      "$Name: \"Ruvizo\"\r\n+No create\r\n$Start position: \"gate_stand\"\r\n$Character: \"Ruvizo\"\r\n"
      "+Action: \"teleport to\" \"gate_stand\"\r\n"
      "+Action: \"say\" \"The gate stands open. Someone left in a hurry.\" 3\r\n"
      "+Action: \"wait at\" \"gate_stand\" 3\r\n"
      "+Action: \"say\" \"Stay close. We follow the road east.\" 3\r\n"
      "#end\r\n";
  if (!cutscene_stream_write_file(dir + "demo_gate.csc", {arc(0.0f, 6.0f, 0.25f * PI, 0.75f * PI),
                                                           arc(6.0f, 24.0f, 1.25f * PI, 2.25f * PI)}) ||
      !table_write_file(root + "/data/tables/cutscenes.tbl", table) ||
      !table_write_file(root + "/data/scripts/demo_gate_cscript.tbl", script)) {
    std::fprintf(stderr, "demo: cannot write the demo cutscene\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_cutscenes, DEMO_ORDER_TABLES + 320);
