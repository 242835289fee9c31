#include "quarn/platform/scaled_present.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include "quarn/platform/picture_fit.h"

namespace {

// Framebuffer objects are looked up in the context's library: the layers
// draw with the GL 1.x the renderers were written for, and only this step
// needs more.
PFNGLGENFRAMEBUFFERSPROC Gen_framebuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC Delete_framebuffers = nullptr;
PFNGLBINDFRAMEBUFFERPROC Bind_framebuffer = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFERPROC Framebuffer_renderbuffer = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSPROC Check_framebuffer_status = nullptr;
PFNGLGENRENDERBUFFERSPROC Gen_renderbuffers = nullptr;
PFNGLDELETERENDERBUFFERSPROC Delete_renderbuffers = nullptr;
PFNGLBINDRENDERBUFFERPROC Bind_renderbuffer = nullptr;
PFNGLRENDERBUFFERSTORAGEPROC Renderbuffer_storage = nullptr;
PFNGLBLITFRAMEBUFFERPROC Blit_framebuffer = nullptr;

GLuint Framebuffer = 0;
GLuint Colour_buffer = 0, Depth_buffer = 0;
int Width = 0, Height = 0;

template <typename Fn>
bool look_up(Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
  return *fn != nullptr;
}

bool look_up_all() {
  if (Blit_framebuffer) return true;
  return look_up(&Gen_framebuffers, "glGenFramebuffers") && look_up(&Delete_framebuffers, "glDeleteFramebuffers") &&
         look_up(&Bind_framebuffer, "glBindFramebuffer") &&
         look_up(&Framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
         look_up(&Check_framebuffer_status, "glCheckFramebufferStatus") &&
         look_up(&Gen_renderbuffers, "glGenRenderbuffers") && look_up(&Delete_renderbuffers, "glDeleteRenderbuffers") &&
         look_up(&Bind_renderbuffer, "glBindRenderbuffer") &&
         look_up(&Renderbuffer_storage, "glRenderbufferStorage") &&
         look_up(&Blit_framebuffer, "glBlitFramebuffer");
}

void free_objects() {
  if (Framebuffer) Delete_framebuffers(1, &Framebuffer);
  if (Colour_buffer) Delete_renderbuffers(1, &Colour_buffer);
  if (Depth_buffer) Delete_renderbuffers(1, &Depth_buffer);
  Framebuffer = Colour_buffer = Depth_buffer = 0;
}

// One black bar, given in window rows from the top.
void clear_bar(int x, int y, int w, int h, int window_h) {
  if (w <= 0 || h <= 0) return;
  glScissor(x, window_h - y - h, w, h);
  glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

bool scaled_present_open(int width, int height) {
  scaled_present_close();
  if (width <= 0 || height <= 0) return false;
  // Extension lookups answer for any name; the context's version says
  // whether the entry points are there.
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (!version || version[0] < '3' || version[1] != '.' || !look_up_all()) return false;
  while (glGetError() != GL_NO_ERROR) {
  }
  // The window's buffers decide what the layer's blending sees: a window
  // without alpha reads destination alpha as one, and so must the picture.
  GLint alpha_bits = 0, depth_bits = 0;
  glGetIntegerv(GL_ALPHA_BITS, &alpha_bits);
  glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
  Gen_framebuffers(1, &Framebuffer);
  Gen_renderbuffers(1, &Colour_buffer);
  Gen_renderbuffers(1, &Depth_buffer);
  Bind_renderbuffer(GL_RENDERBUFFER, Colour_buffer);
  Renderbuffer_storage(GL_RENDERBUFFER, alpha_bits > 0 ? GL_RGBA8 : GL_RGB8, width, height);
  Bind_renderbuffer(GL_RENDERBUFFER, Depth_buffer);
  Renderbuffer_storage(GL_RENDERBUFFER, depth_bits > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16, width, height);
  Bind_renderbuffer(GL_RENDERBUFFER, 0);
  Bind_framebuffer(GL_FRAMEBUFFER, Framebuffer);
  Framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, Colour_buffer);
  Framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, Depth_buffer);
  if (Check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR) {
    Bind_framebuffer(GL_FRAMEBUFFER, 0);
    free_objects();
    return false;
  }
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  Width = width;
  Height = height;
  return true;
}

void scaled_present_close() {
  if (!Framebuffer) return;
  Bind_framebuffer(GL_FRAMEBUFFER, 0);
  free_objects();
  Width = Height = 0;
}

bool scaled_present_active() { return Framebuffer != 0; }

unsigned scaled_present_read_buffer() { return Framebuffer ? GL_COLOR_ATTACHMENT0 : GL_BACK; }

void scaled_present_show(int window_w, int window_h) {
  if (!Framebuffer || window_w <= 0 || window_h <= 0) return;
  const PictureFit f = picture_fit(Width, Height, window_w, window_h);

  GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  GLint box[4];
  glGetIntegerv(GL_SCISSOR_BOX, box);
  GLboolean mask[4];
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  GLfloat clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);

  Bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDrawBuffer(GL_BACK);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  // The bars only: the picture covers the rest.
  glEnable(GL_SCISSOR_TEST);
  clear_bar(0, 0, window_w, f.y, window_h);
  clear_bar(0, f.y + f.height, window_w, window_h - f.y - f.height, window_h);
  clear_bar(0, f.y, f.x, f.height, window_h);
  clear_bar(f.x + f.width, f.y, window_w - f.x - f.width, f.height, window_h);
  glDisable(GL_SCISSOR_TEST);
  // GL counts rows from the bottom: the picture's bottom row goes to the
  // window row below the picture's place.
  const int bottom = window_h - f.y - f.height;
  Blit_framebuffer(0, 0, Width, Height, f.x, bottom, f.x + f.width, bottom + f.height, GL_COLOR_BUFFER_BIT,
                   f.nearest ? GL_NEAREST : GL_LINEAR);
  Bind_framebuffer(GL_FRAMEBUFFER, Framebuffer);

  if (scissor) glEnable(GL_SCISSOR_TEST);
  glScissor(box[0], box[1], box[2], box[3]);
  glColorMask(mask[0], mask[1], mask[2], mask[3]);
  glClearColor(clear[0], clear[1], clear[2], clear[3]);
}
