// The demo's looping spell held in the demo hero's right hand while the hero
// plays its attack, on a real window (Xvfb, Mesa's software OpenGL). The
// spell is made by name from the demo's own effect files, read through the
// preload queue; the hero is posed by a character instance. At fixed frames
// the spell's pixels (the picture with the spell drawn against the same
// picture without it) lie around the hand as the skin puts it and follow the
// hand as the arm swings; the glowing core is a square of its frame's size
// and the sparks are dots of their own; the spell's animated light
// brightens the hero; after stop the sparks die out, the instance finishes
// and no spell pixel is left. The state trace printed every frame must tell
// the same story.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/math/floatops.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/demo_effects_level.h"
#include "tests/support/gl_screen.h"
#include "tools/writers/effect_demo.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/image_writers.h"

namespace fs = std::filesystem;

namespace {

const vector Figure_pos(0.0f, -1.0f, 3.5f);
// The first demo hero's build (tools/make_demo/demo_characters.cpp).
const FigureSpec Hero_spec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}};
// How far from the hand the spell may reach: the core's half size and a
// spark's flight over its half-second life, with room to spare.
constexpr float Reach = 0.6f;

bool black(const uint8_t* p) { return p[0] <= 4 && p[1] <= 4 && p[2] <= 4; }
int lum(const uint8_t* p) { return p[0] + p[1] + p[2]; }
bool differs(const uint8_t* a, const uint8_t* b) {
  for (int c = 0; c < 3; c++)
    if (std::abs(a[c] - b[c]) > 6) return true;
  return false;
}

struct Box {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  void add(const vector& world) {
    // The projected square of side 2 * Reach around a point, widened by the
    // nearest depth it can have.
    float px, py;
    gl_screen_pinhole(world, px, py);
    const float r = Reach * 320.0f / (world.z - Reach) + 2.0f;
    x0 = std::min(x0, px - r), x1 = std::max(x1, px + r);
    y0 = std::min(y0, py - r), y1 = std::max(y1, py + r);
  }
  bool has(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// Groups of touching lit pixels (8-neighbours) of a picture on black.
struct Blob {
  int x0 = 99999, y0 = 99999, x1 = -1, y1 = -1;
  int w() const { return x1 - x0 + 1; }
  int h() const { return y1 - y0 + 1; }
};
using Blobs = std::vector<Blob>;
Blobs blobs_of(const ScreenImage& img) {
  Blobs out;
  std::vector<uint8_t> seen(static_cast<size_t>(img.w) * img.h, 0);
  std::vector<std::pair<int, int>> todo;
  for (int y = 0; y < img.h; y++)
    for (int x = 0; x < img.w; x++) {
      if (seen[y * img.w + x] || black(img.at(x, y))) continue;
      Blob b;
      todo.assign(1, {x, y});
      seen[y * img.w + x] = 1;
      while (!todo.empty()) {
        const auto [px, py] = todo.back();
        todo.pop_back();
        b.x0 = std::min(b.x0, px), b.x1 = std::max(b.x1, px);
        b.y0 = std::min(b.y0, py), b.y1 = std::max(b.y1, py);
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) {
            const int nx = px + dx, ny = py + dy;
            if (nx < 0 || ny < 0 || nx >= img.w || ny >= img.h || seen[ny * img.w + nx] || black(img.at(nx, ny)))
              continue;
            seen[ny * img.w + nx] = 1;
            todo.push_back({nx, ny});
          }
      }
      out.push_back(b);
    }
  return out;
}

struct SpellPixels {
  int inside = 0, outside = 0;
  double cx = 0, cy = 0;  // centroid of all of them
  // The core: the near-white pixels of the glowing sprite.
  int core = 0;
  double kx = 0, ky = 0;
  int kx0 = 99999, ky0 = 99999, kx1 = -1, ky1 = -1;  // their bounds
};

}  // namespace

TEST(EffectsSpell, LoopingSpellFollowsTheHandLightsTheHeroAndEndsAfterStop) {
  const fs::path tmp = effects_scratch_root("effects_spell");
  ASSERT_TRUE(demo_effects_write(tmp.string(), tmp.string()));
  // The effects' bitmap, as the demo builder writes it.
  const std::vector<uint8_t> spark_px = demo_spark_pixels(16);
  ASSERT_TRUE(tga_write_file((tmp / DEMO_SPARK_BITMAP).string(), spark_px.data(), 16, 16, 32));
  ASSERT_TRUE(vim_write_file((tmp / "ruvizo.vim").string(), figure_mesh(Hero_spec, 0)));
  ASSERT_TRUE(mvf_write_file((tmp / "ruvizo_attack.mvf").string(), figure_anim(Hero_spec, FigureMotion::attack, 8)));
  vfile_set_root(tmp.c_str(), false);
  const int shots = vfile_add_path_type("screenshots", ".tga .jpg");
  ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Spell Test"));
  gr_set_aspect(1.0f);

  // The hero, as the game loads a character kind, in its attack.
  character_instance_system_init(-1);
  const char* names[] = {"ruvizo"};
  BaseCharacter* base = base_character_load(names, 1, nullptr, nullptr);
  ASSERT_NE(base, nullptr);
  const int attack = base_character_add_skeleton(base, "ruvizo_attack.mvf", "attack", 0, 0, 0, 0);
  ASSERT_GE(attack, 0);
  VimMesh* figure = base->current->mesh;
  std::vector<uint8_t> white(64 * 64 * 2, 0xff);
  const int white_bm = bm_create(BM_FORMAT_565, 64, 64, white.data());
  figure->bitmaps[0] = figure->bitmaps[1] = white_bm;
  figure->bitmap_count = 2;
  auto* hero = new character_instance(base);
  hero->start_anim(attack, 1.0f, 1, 1.0f);
  hero->process(0.0f, 0, 0);
  hero->setup_matrices();

  // The spell, from the demo's effect files.
  ASSERT_EQ(effects_level_init(), 0);
  lights_reset();
  lights_set_ambient(0.15f, 0.15f, 0.15f);
  effect_emitter_pool_reset();
  effect_instances_reset();
  os_srand(11);
  EffectInstance* spell = effect_create_by_name("Spell-Loop", 0);
  ASSERT_NE(spell, nullptr);
  ASSERT_NE(spell->meshes, nullptr);
  ASSERT_NE(spell->channels, nullptr);
  ASSERT_NE(spell->emitters, nullptr);

  // Where the skin puts the hand: its rest point carried by the hand's
  // skin transform, then placed where the figure stands.
  const auto rest = figure_rest(Hero_spec, FIG_R_HAND);
  const vector hand_rest(rest[0], rest[1], rest[2]);
  auto hand_world = [&]() { return gl_screen_skin_point(hero->skin[FIG_R_HAND], hand_rest) + Figure_pos; };

  // Holds the spell at the hand tag, as a caster holding it does each frame.
  transform hand;
  vector hand_at;
  auto attach = [&]() {
    // The hand tag as the figure is drawn: the hand's rest point under its
    // skin transform.
    hand.orient = hero->skin[FIG_R_HAND].orient;
    hand.pos = hand_at = hand_world();
    for (int n = 0; n < effect_instance_elements(spell); n++) {
      const int kind = effect_instance_element(spell, n).kind;
      if (kind == EEK_MESH || kind == EEK_CHANNEL) effect_instance_set_element_transform(spell, n, hand.pos, hand.orient);
    }
  };

  // Spell elements of one kind only (EEK_MESH, EEK_EMITTER), all of them
  // (All), or none.
  constexpr int All = -1, None = -2;
  auto draw = [&](const char* name, int spell_kind, bool with_hero = true, int only = -1) {
    gr_reset_clip();
    gr_set_color(0, 0, 0, 255);
    gr_clear();
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, true);
    if (with_hero) {
      gr_mesh_set_current(figure);
      gr_mesh_set_character(base, hero);
      MeshDrawRecord rec;
      gr_mesh_render(Figure_pos, identity_matrix, rec);
      gr_mesh_set_character(nullptr, nullptr);
    }
    if (spell_kind == All) effect_instance_render_all(spell, 0);
    else if (spell_kind != None)
      for (int n = 0; n < effect_instance_elements(spell); n++)
        if (effect_instance_element(spell, n).kind == spell_kind && (only < 0 || n == only))
          effect_instance_render(spell, n, 0);
    gr_alpha_flush();
    ScreenImage img = gl_screen_shot(tmp / "screenshots", name, shots);
    gr_flip();
    return img;
  };

  auto spell_pixels = [&](const ScreenImage& with, const ScreenImage& without, const Box& box) {
    SpellPixels s;
    int n = 0;
    for (int y = 0; y < with.h; y++)
      for (int x = 0; x < with.w; x++) {
        if (!differs(with.at(x, y), without.at(x, y))) continue;
        if (box.has(x, y)) s.inside++;
        else s.outside++;
        s.cx += x, s.cy += y, n++;
        const uint8_t* p = with.at(x, y);
        if (std::min({p[0], p[1], p[2]}) >= 200) {
          s.kx += x, s.ky += y, s.core++;
          s.kx0 = std::min(s.kx0, x), s.kx1 = std::max(s.kx1, x);
          s.ky0 = std::min(s.ky0, y), s.ky1 = std::max(s.ky1, y);
        }
      }
    if (n) s.cx /= n, s.cy /= n;
    if (s.core) s.kx /= s.core, s.ky /= s.core;
    return s;
  };

  // Before the spell starts: the hero under the ambient light alone.
  attach();
  const ScreenImage unlit = draw("spell_before", None);
  ASSERT_EQ(unlit.w, 640);
  int figure_pixels = 0;
  double unlit_sum = 0;
  for (size_t i = 0; i < unlit.bgr.size(); i += 3)
    if (!black(&unlit.bgr[i])) figure_pixels++, unlit_sum += lum(&unlit.bgr[i]);
  ASSERT_GT(figure_pixels, 500);

  effect_instance_start(spell, true, false);
  const int lamp = spell->channels->state.light;

  std::vector<std::string> trace;
  auto state_of = [&](bool alive) -> std::string {
    if (!alive) return "finished";
    return effect_instance_is_stopping(spell) ? "stopping" : "running";
  };
  auto log = [&](int frame, bool alive) {
    char line[160];
    const vector h = hand_at;
    float px, py;
    gl_screen_pinhole(h, px, py);
    std::snprintf(line, sizeof line, "frame %3d %-8s effect-frame %5.2f light %s sparks %3d hand %.0f,%.0f", frame,
                  state_of(alive).c_str(), spell->frame,
                  lamp >= 0 && light_get_enabled(lamp) ? "on " : "off", spell->emitters->live, px, py);
    std::printf("%s\n", line);
    trace.push_back(state_of(alive));
  };

  // Hand positions of the last half second: sparks thrown then may still fly.
  std::vector<vector> recent;
  const float dt = 1.0f / 30.0f;
  struct Shot {
    int frame;
    SpellPixels px;
    vector hand;
    double lit_mean = 0, dark_mean = 0;
  };
  std::vector<Shot> taken;
  bool wrapped = false;
  float last_frame = 0.0f;
  int frame = 0;
  for (frame = 1; frame <= 70; frame++) {
    hero->process(dt, 0, 0);
    hero->setup_matrices();
    attach();
    ASSERT_TRUE(effect_instance_update(spell, dt, &hand, 0)) << frame;
    if (spell->frame < last_frame) wrapped = true;
    last_frame = spell->frame;
    log(frame, true);
    recent.push_back(hand_at);
    if (recent.size() > 16) recent.erase(recent.begin());
    if (frame == 6 || frame == 9) {
      char name[32];
      std::snprintf(name, sizeof name, "spell_%02d", frame);
      const ScreenImage with = draw(name, All);
      const ScreenImage without = draw("spell_bare", None);
      ASSERT_GE(lamp, 0);
      light_set_enabled(lamp, false);
      const ScreenImage dark = draw("spell_dark", None);
      light_set_enabled(lamp, true);
      // The core alone on black: a square of its frame's size (the blend of
      // the definition's frames at the effect frame, 15 a second) seen at
      // the hand's depth.
      const ScreenImage core = draw(frame == 6 ? "spell_core_06" : "spell_core_09", EEK_MESH, false, 0);
      const Blobs core_blobs = blobs_of(core);
      ASSERT_EQ(core_blobs.size(), 1u) << "frame " << frame;
      const auto& frames = demo_spell_def().meshes[0].frames;
      const int k = static_cast<int>(spell->frame);
      const float w = spell->frame - static_cast<float>(k);
      const float size = frames[k].size * (1 - w) + frames[k + 1].size * w;
      const float want = size * 320.0f / hand_at.z;
      EXPECT_NEAR(core_blobs[0].w(), want, 3.0f) << "frame " << frame;
      EXPECT_NEAR(core_blobs[0].h(), want, 3.0f) << "frame " << frame;
      // The mote alone: it circles the hand at 0.3 in the hand's own x-y
      // plane, once a loop (2 seconds), starting on the hand's x axis.
      const ScreenImage mote = draw(frame == 6 ? "spell_mote_06" : "spell_mote_09", EEK_MESH, false, 1);
      double mx = 0, my = 0;
      int lit = 0;
      for (int y = 0; y < mote.h; y++)
        for (int x = 0; x < mote.w; x++)
          if (!black(mote.at(x, y))) mx += x, my += y, lit++;
      ASSERT_GT(lit, 4) << "frame " << frame;
      mx /= lit, my /= lit;
      const float turn = 6.2831853f * spell->time / 2.0f;
      const vector local(0.3f * std::cos(turn), 0.3f * std::sin(turn), 0);
      float ex, ey;
      gl_screen_pinhole(gl_screen_skin_point(hand, local), ex, ey);
      EXPECT_NEAR(mx, ex, 3.0) << "frame " << frame;
      EXPECT_NEAR(my, ey, 3.0) << "frame " << frame;
      std::printf("shot %d: mote around %.1f,%.1f (want %.1f,%.1f), %d pixels\n", frame, mx, my, ex, ey, lit);
      // The sparks alone: small dots apart from each other, not one smear
      // (the youngest, just thrown from one place, may still touch).
      const ScreenImage sparks = draw(frame == 6 ? "spell_sparks_06" : "spell_sparks_09", EEK_EMITTER, false);
      const Blobs dots = blobs_of(sparks);
      EXPECT_GE(dots.size(), 2u) << "frame " << frame << ", " << spell->emitters->live << " sparks";
      for (const Blob& d : dots)
        EXPECT_LE(std::max(d.w(), d.h()), 24) << "frame " << frame << " at " << d.x0 << "," << d.y0;
      std::printf("shot %d: core %dx%d (want %.1f), %zu spark dots of %d sparks\n", frame, core_blobs[0].w(),
                  core_blobs[0].h(), want, dots.size(), spell->emitters->live);
      Box box;
      for (const vector& h : recent) box.add(h);
      Shot s{frame, spell_pixels(with, without, box), hand_at};
      int n = 0;
      for (int y = 0; y < dark.h; y++)
        for (int x = 0; x < dark.w; x++) {
          if (black(dark.at(x, y)) || differs(with.at(x, y), without.at(x, y))) continue;
          s.lit_mean += lum(without.at(x, y)), s.dark_mean += lum(dark.at(x, y)), n++;
        }
      ASSERT_GT(n, 300);
      s.lit_mean /= n, s.dark_mean /= n;
      float hx, hy;
      gl_screen_pinhole(s.hand, hx, hy);
      std::printf("shot %d: %d spell pixels around %.0f,%.0f, core %d around %.0f,%.0f, hand at %.0f,%.0f\n", frame,
                  s.px.inside, s.px.cx, s.px.cy, s.px.core, s.px.kx, s.px.ky, hx, hy);
      taken.push_back(s);
    }
  }
  EXPECT_TRUE(wrapped) << "70 frames at 30 a second pass the spell's 2-second loop";

  ASSERT_EQ(taken.size(), 2u);
  for (const Shot& s : taken) {
    EXPECT_GT(s.px.inside, 40) << "frame " << s.frame;
    EXPECT_EQ(s.px.outside, 0) << "frame " << s.frame;
    // The spell's light makes the hero brighter where no spell pixel lies.
    EXPECT_GT(s.lit_mean, s.dark_mean * 1.1) << "frame " << s.frame << ": " << s.lit_mean << " vs " << s.dark_mean;
  }
  // The arm swings between the two shots and the spell's pixels go with the
  // hand: their centroid moves as the hand's projection does.
  float hx0, hy0, hx1, hy1;
  gl_screen_pinhole(taken[0].hand, hx0, hy0);
  gl_screen_pinhole(taken[1].hand, hx1, hy1);
  const double hand_move = std::hypot(hx1 - hx0, hy1 - hy0);
  ASSERT_GT(hand_move, 20.0) << "the hand must move on the screen between the shots";
  // The glowing core is centred on the hand (the hand's own boxes hide part
  // of it): in both shots the hand lies within the core's pixels, and every
  // spell pixel lies near where the hand was over the sparks' lifetime.
  const float hxs[2] = {hx0, hx1}, hys[2] = {hy0, hy1};
  for (int i = 0; i < 2; i++) {
    const SpellPixels& c = taken[i].px;
    ASSERT_GT(c.core, 20) << "frame " << taken[i].frame;
    EXPECT_TRUE(hxs[i] >= c.kx0 - 2 && hxs[i] <= c.kx1 + 2 && hys[i] >= c.ky0 - 2 && hys[i] <= c.ky1 + 2)
        << "frame " << taken[i].frame << ": core " << c.kx0 << "," << c.ky0 << " - " << c.kx1 << "," << c.ky1;
  }

  // Stop: the sparks already thrown live out their half second, then the
  // instance finishes and nothing of it is drawn.
  effect_instance_stop(spell);
  bool alive = true;
  const int stopped_at = frame;
  for (; alive && frame < stopped_at + 60; frame++) {
    hero->process(dt, 0, 0);
    hero->setup_matrices();
    attach();
    alive = effect_instance_update(spell, dt, &hand, 0);
    log(frame, alive);
  }
  EXPECT_FALSE(alive) << "the spell must finish within two seconds of stop";
  const ScreenImage after = draw("spell_after", All);
  const ScreenImage bare = draw("spell_after_bare", None);
  const SpellPixels left = spell_pixels(after, bare, Box{});
  EXPECT_EQ(left.inside + left.outside, 0);
  effect_instance_release(spell);
  EXPECT_FALSE(light_get_enabled(lamp));

  // The trace: running through the loop, stopping after stop, finished last.
  ASSERT_GE(trace.size(), 72u);
  for (int i = 0; i < 70; i++) EXPECT_EQ(trace[i], "running") << "frame " << i + 1;
  EXPECT_EQ(trace[70], "stopping") << "sparks still alive just after stop";
  EXPECT_EQ(trace.back(), "finished");
  for (size_t i = 70; i + 1 < trace.size(); i++) EXPECT_EQ(trace[i], "stopping") << i;

  effect_instances_reset();
  gr_mesh_set_current(nullptr);
  delete hero;
  character_instance_system_shutdown();
  gl_screen_close();
  (void)unlit_sum;
}
