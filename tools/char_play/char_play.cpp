// char_play: loads a character through the file layer and the packfiles as
// the game does (the same root, path types and packfiles; the heroes'
// animation pack "heroes.svf" when present), walks it for some frames, then
// plays its attack, and prints what each frame did:
//
//   char_play <character> <walk frames> <attack frames>
//
// First a line "character <name> bones <n> bone-tags <n> pack <yes|no>",
// then one line per frame of 1/30 s:
//   <walk|attack> <frame> clock <ticks> step <x> <y> <z> weapon <x> <y> <z> events <names|->
// "step" is the root motion of the frame, "weapon" the "$weapon" tag in the
// character's own frame, "events" the sound events the frame passed (the
// walk's through the instance, the attack's from its clock). Exit 0, 1 when
// the character or its animations cannot be had, 2 for a bad command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Orrimund/fs_paths.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/vfile/vfile.h"

namespace {

constexpr float kFrame = 1.0f / 30.0f;

// Advances one frame and prints it; `passed(event, old clock)` tells the
// animation's sound events the frame passed.
template <typename Passed>
void play_frame(character_instance& ci, const char* what, int frame, int anim, int weapon_tag, Passed passed) {
  const int old = ci.ticks[anim];
  ci.process(kFrame, 0, 0);
  ci.blend_anim_motion();
  vector step, weapon;
  ci.get_motion_step(&step, kFrame);
  ci.get_tag_local(weapon_tag, nullptr, &weapon);
  std::string events;
  for (const SoundEvent& ev : ci.base->anims[anim]->sound_events) {
    if (ev.name && passed(ev, old)) events += (events.empty() ? "" : ",") + std::string(ev.name);
  }
  const int clock = ci.ticks[anim];
  std::printf("%s %d clock %d step %.4f %.4f %.4f weapon %.4f %.4f %.4f events %s\n", what, frame, clock, step.x,
              step.y, step.z, weapon.x, weapon.y, weapon.z, events.empty() ? "-" : events.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: char_play <character> <walk frames> <attack frames>\n");
    return 2;
  }
  const int walk_frames = std::atoi(argv[2]);
  const int attack_frames = std::atoi(argv[3]);
  if (walk_frames < 0 || attack_frames < 0) {
    std::fprintf(stderr, "char_play: frame counts must not be negative\n");
    return 2;
  }
  fs_init();
  bm_init();
  character_instance_system_init(-1);
  const bool pack = anim_pack_load("heroes.svf");
  const std::string name = argv[1];
  const char* names[] = {argv[1]};
  BaseCharacter* bc = base_character_load(names, 1, nullptr, nullptr);
  if (!bc) {
    std::fprintf(stderr, "char_play: cannot load character %s\n", argv[1]);
    return 1;
  }
  const int walk = base_character_add_skeleton(bc, (name + "_walk.mvf").c_str(), "walk", 1, 0, 0, 0);
  const int attack = base_character_add_skeleton(bc, (name + "_attack01.mvf").c_str(), "attack", 0, 0, 0, 0);
  if (walk < 0 || attack < 0) {
    std::fprintf(stderr, "char_play: animations of %s refused\n", argv[1]);
    return 1;
  }
  const VimBonePart* bp = bc->current->skeleton;
  std::printf("character %s bones %d bone-tags %d pack %s\n", bc->name, bp->bone_count, bp->bone_tag_count,
              pack ? "yes" : "no");
  const int weapon_tag = character_find_bone(bc, "$weapon");

  character_instance ci(bc);
  ci.set_anim_weight(walk, 1.0f);
  for (int f = 1; f <= walk_frames; ++f) {
    play_frame(ci, "walk", f, walk, weapon_tag, [&](const SoundEvent& ev, int) { return ci.event_fired(ev.name); });
  }

  ci.stop_overlay_anims();
  ci.start_anim(attack, 1.0f, 1, 1.0f);
  for (int f = 1; f <= attack_frames; ++f) {
    // An action's events are not the instance's (those follow the dominant
    // cycle): they are read off its clock.
    play_frame(ci, "attack", f, attack, weapon_tag,
               [&](const SoundEvent& ev, int old) { return old < ev.tick && ev.tick <= ci.ticks[attack]; });
  }
  character_instance_system_shutdown();
  bm_close();
  return 0;
}
