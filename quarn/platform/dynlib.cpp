#include "quarn/platform/dynlib.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::string Library_dir;
std::string Load_error;

std::string program_dir() {
  if (!Library_dir.empty()) return Library_dir;
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  char* slash = std::strrchr(path, '/');
  if (!slash) return ".";
  *slash = '\0';
  return path;
}

// "glide2x.dll" -> "libglide2x.so"; other names stay as they are.
std::string shared_name(const char* name) {
  std::string base = name;
  const size_t len = base.size();
  if (len > 4 && strcasecmp(base.c_str() + len - 4, ".dll") == 0) base = "lib" + base.substr(0, len - 4) + ".so";
  return base;
}
}  // namespace

void* os_load_library(const char* name) {
  Load_error.clear();
  if (!name || !*name) return nullptr;
  const std::string file = shared_name(name);
  if (file.find('/') == std::string::npos) {
    const std::string beside = program_dir() + "/" + file;
    if (void* h = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    // A file that is there but does not load is the reason to give, not
    // the search that follows.
    if (access(beside.c_str(), F_OK) == 0) {
      const char* e = dlerror();
      Load_error = e ? e : beside + ": cannot be loaded";
    }
  }
  void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h && Load_error.empty()) {
    const char* e = dlerror();
    // The loader's "cannot open shared object file" means nothing was found.
    if (e && !std::strstr(e, "No such file")) Load_error = e;
  }
  return h;
}

const char* os_library_load_error() { return Load_error.c_str(); }

void* os_get_proc_address(void* library, const char* name) {
  if (!library || !name) return nullptr;
  char exported[256];
  const size_t len = std::strlen(name);
  if (len >= sizeof exported) return nullptr;
  for (size_t i = 0; i <= len; i++) exported[i] = name[i] == '@' ? '$' : name[i];
  return dlsym(library, exported);
}

void os_free_library(void* library) {
  if (library) dlclose(library);
}

void os_set_library_dir(const char* dir) { Library_dir = dir ? dir : ""; }
