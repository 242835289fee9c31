#pragma once
// The quest journal (screen 10): the active quests in two lists, main and
// side, each scrolling on its own, and the chosen quest's current stage text
// in a scrolling panel.
void journal_screen_register();
// For tests: the active quests of a list (0 main, 1 side), by quest index.
int journal_list(int list, int* quests, int capacity);
