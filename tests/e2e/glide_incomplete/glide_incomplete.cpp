// A Glide library that lacks most entry points: the renderer must refuse it.
extern "C" void grGlideInit() __asm__("_grGlideInit$0");
extern "C" __attribute__((visibility("default"))) void grGlideInit() {}
