// The demo's sounds: sounds.tbl with short synthesised waves (tones, noise
// bursts, some MS-ADPCM), music.tbl with two tracks of music-like material,
// feedback.tbl with a voice line per hero and action group, and the surface
// table of the demo level.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/table_writers.h"
#include "tools/writers/wave_writer.h"

namespace {

bool demo_build_sounds(const std::string& root) {
  namespace fs = std::filesystem;
  const fs::path sounds = fs::path(root) / "data" / "sounds" / "pc";
  const fs::path music = sounds / "music";
  const fs::path tables = fs::path(root) / "data" / "tables";
  std::error_code ec;
  fs::create_directories(music, ec);
  fs::create_directories(tables, ec);
  const int rate = 22050;

  // sounds.tbl: its line numbers are the game's sound ids (hit sounds use
  // lines 14-34, the screens 35-43).
  std::string tbl = "#Sounds Start\n";
  for (int i = 0; i < 48; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "snd_%02d.wav", i);
    std::vector<int16_t> s;
    if (i >= 14 && i <= 34)
      s = wave_noise(rate, 1, 0.15, 0.5, static_cast<uint32_t>(i + 1));  // hits: noise bursts
    else
      s = wave_tone(rate, 1, 0.25, 220.0 + 40.0 * i, 0.5);
    // Fade the edges so nothing clicks.
    for (size_t k = 0; k < 200 && k < s.size(); ++k) {
      s[k] = static_cast<int16_t>(s[k] * static_cast<int>(k) / 200);
      s[s.size() - 1 - k] = static_cast<int16_t>(s[s.size() - 1 - k] * static_cast<int>(k) / 200);
    }
    std::vector<uint8_t> bytes = i % 4 == 3 ? wave_build_msadpcm(s, 1, rate, 512) : wave_build_pcm(s, 1, rate, 16);
    if (!wave_write_file((sounds / name).string(), bytes)) {
      std::fprintf(stderr, "demo_sounds: cannot write %s\n", name);
      return false;
    }
    tbl += std::string("\"") + name + "\" 5.0 1.0 1.0\n";
  }
  tbl += "#Sounds End\n";

  // Music: a few seconds of tones with shaped notes, one MS-ADPCM track.
  bool ok = wave_write_file((music / "title.wav").string(),
                            wave_build_msadpcm(wave_melody(rate, 2, 6.0, 0.5), 2, rate, 1024)) &&
            wave_write_file((music / "battle.wav").string(),
                            wave_build_pcm(wave_melody(rate, 1, 4.0, 0.4), 1, rate, 16));
  std::string mus =
      "$Name: \"Title\"\n$Filename: \"title.wav\"\n"
      "$Name: \"Battle\"\n$Filename: \"battle.wav\"\n"
      "$Name: \"Credits\"\n$Filename: \"title.wav\"\n#End\n";

  // Feedback: two voice lines per hero for success and failure, one for the rest.
  static const char* const heroes[] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};
  static const char* const actions[] = {"+Affirmative:", "+Attack:", "+NoEffect:", "+Locked:",
                                        "+Injured:", "+InvalidAction:", "+InvalidLocation:",
                                        "+InvalidTarget:", "+Success:", "+Failed:", "+Poison:",
                                        "+HideSuccess:", "+SneakSuccess:", "+Unlocked:", "+LevelUp:",
                                        "+Death:"};
  std::string fb;
  for (int h = 0; h < 4; ++h) {
    fb += std::string("$Name: \"") + heroes[h] + "\"\n";
    for (int a = 0; a < 16; ++a) {
      char line[64], second[64];
      std::snprintf(line, sizeof line, "fb_%d_%d.wav", h, a);
      std::snprintf(second, sizeof second, "fb_%d_%db.wav", h, a);
      double pitch = 300.0 + 60.0 * h + 5.0 * a;
      ok = ok && wave_write_file((sounds / line).string(),
                                 wave_build_pcm(wave_tone(rate, 1, 0.2, pitch, 0.4), 1, rate, 16));
      fb += std::string(actions[a]) + (a == 8 || a == 9 ? " 100" : " 30") + " \"" + line + "\"";
      if (a == 8 || a == 9) {
        ok = ok && wave_write_file((sounds / second).string(),
                                   wave_build_pcm(wave_tone(rate, 1, 0.2, pitch * 1.25, 0.4), 1, rate, 16));
        fb += std::string(" \"") + second + "\"";
      }
      fb += "\n";
    }
  }
  fb += "#End\n";

  std::string surfaces = "$Default: \"stone\"\n#End\n";
  ok = ok && table_write_file((tables / "sounds.tbl").string(), tbl) &&
       table_write_file((tables / "music.tbl").string(), mus) &&
       table_write_file((tables / "feedback.tbl").string(), fb) &&
       table_write_file((tables / "demo_surfaces.tbl").string(), surfaces);
  if (!ok) std::fprintf(stderr, "demo_sounds: cannot write the sound tables\n");
  return ok;
}

}  // namespace

DEMO_STEP(demo_build_sounds, DEMO_ORDER_TABLES + 40);
