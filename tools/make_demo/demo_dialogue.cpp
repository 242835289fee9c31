// Demo step: the dialogue tables. The watchman of the outdoor level greets
// the party; his greeting makes the road east one of the topics he opens
// every conversation with, and asking about it offers his warning once. He
// keeps a shop: "Trade" ends the talk at his buy and sell screen.
// Orla stands in the "test" level, which has a row in the level table.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/table_writers.h"

namespace {

bool demo_build_dialogue(const std::string& root) {
  std::error_code ec;
  std::filesystem::create_directories(root + "/data/scripts", ec);
  const char* const table =
      "$Character: \"Watchman\"\r\n"
      "+Move in time: 1000\r\n"
      "+Move out time: 500\r\n"
      "+Topic: {Greetings}\r\n"
      "+NPCText: {\"Halt. Travellers this late?\" The watchman lowers his spear.}\r\n"
      "+PCText: {We came in from the west.}\r\n"
      "+Add topic: {The road east}\r\n"
      "+Add initial topic: {The road east}\r\n"
      "+Topic: {The road east}\r\n"
      "+NPCText: {\"The road east runs past the old gate. Keep to it after dark.\"}\r\n"
      "+Add topic: {The old gate}\r\n"
      "+Topic: {The old gate}\r\n"
      "+NPCText: {\"Nobody has opened it in years.\"}\r\n"
      "+Topic: {Trade}\r\n"
      "+Shop\r\n"
      "$Initial topics: {Greetings} {Trade}\r\n"
      "$End\r\n";
  // Orla of the "test" level, whose state saved games keep: asking about
  // the well makes the rain one of her opening topics and the well none.
  const char* const orla =
      "$Character: \"Orla\"\r\n"
      "+Move in time: 800\r\n"
      "+Move out time: 400\r\n"
      "+Topic: {Hello}\r\n"
      "+NPCText: {\"Good day to you.\"}\r\n"
      "+Topic: {The well}\r\n"
      "+NPCText: {\"The well is dry. Ask me about the rain some time.\"}\r\n"
      "+Add topic: {The rain}\r\n"
      "+Add initial topic: {The rain}\r\n"
      "+Remove initial topic: {The well}\r\n"
      "+Topic: {The rain}\r\n"
      "+NPCText: {\"It has not rained since spring.\"}\r\n"
      "$Initial topics: {Hello} {The well}\r\n"
      "$End\r\n";
  for (auto [file, text] : {std::pair{"demo_outdoor_dlg.tbl", table}, {"test_dlg.tbl", orla}}) {
    if (!table_write_file(root + "/data/scripts/" + file, text)) {
      std::fprintf(stderr, "demo: cannot write the dialogue table %s\n", file);
      return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_dialogue, DEMO_ORDER_TABLES + 330);
