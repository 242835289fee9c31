#pragma once
// The full-screen picture of the Glide and Direct3D layers. The display keeps
// the desktop's mode, so a full-screen window is larger than the game's
// picture: the layer draws into an offscreen picture of the game's own size
// in the current GL context, and each present stretches it over the window
// (quarn/platform/picture_fit.h) with black bars, before the buffer swap.
//
// Everything read back (screenshots, locks of the back buffer) comes from the
// offscreen picture, at the game's resolution, with rows counted from its
// own bottom edge rather than the window's.
//
// One picture per program (the Glide library links its own copy); all calls
// are made on the thread whose GL context is current.

// Makes the offscreen picture (colour as the window's, and depth) and binds
// it for drawing and reading. False, with the window's buffers still bound,
// when the context cannot make one: the caller then draws on the window.
bool scaled_present_open(int width, int height);
// Frees the picture and binds the window's buffers again; before the context
// goes away.
void scaled_present_close();
// True between a successful open and the close.
bool scaled_present_active();
// The buffer reads come from while the picture is bound (a GLenum).
unsigned scaled_present_read_buffer();
// Draws the picture on the window's back buffer of window_w x window_h,
// scaled to fit, the bars black, and binds the picture again. GL state the
// layer keeps (scissor, colour mask, clear colour) is as it was. The caller
// swaps the buffers.
void scaled_present_show(int window_w, int window_h);
