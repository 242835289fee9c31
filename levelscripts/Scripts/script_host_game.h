#pragma once
// The game's own script host, installed with the story's hooks at start-up.
void script_host_install_game();
// The developer mode the test level answers to (console "story_developer").
extern bool Story_developer_mode;
