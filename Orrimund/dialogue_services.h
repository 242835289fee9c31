#pragma once
// The dialogue runtime's services in the running game: the conversation
// text box, the merchant hand-off, the talk click of the world input, and
// the runtime's step in the gameplay frame.

void dialogue_install();
void dialogue_gameplay_frame();
