#include "quarn/bmpman/image_io.h"

#include <climits>
#include <cstring>

#include "quarn/vfile/vfile.h"

bool image_io_read_file(const char* name, int path_type, std::vector<uint8_t>& out) {
  out.clear();
  if (!name || !*name) return false;
  FileHandle fh;
  if (fh.open(name, VF_READ, path_type) != VF_OK) return false;
  const int size = fh.size();
  if (size < 0) return false;
  out.resize(static_cast<size_t>(size));
  if (size > 0 && fh.read(out.data(), size) != size) {
    out.clear();
    return false;
  }
  return fh.error() == VF_OK;
}

bool image_io_read_prefix(const char* name, int path_type, uint8_t* out, size_t n) {
  if (!name || !*name || n > static_cast<size_t>(INT_MAX)) return false;
  FileHandle fh;
  if (fh.open(name, VF_READ, path_type) != VF_OK) return false;
  return fh.read(out, static_cast<int>(n)) == static_cast<int>(n);
}

int image_io_file_size(const char* name, int path_type) {
  if (!name || !*name) return VF_ERR_NOT_FOUND;
  FileHandle fh;
  if (!fh.find(name, path_type)) return VF_ERR_NOT_FOUND;
  return fh.size(name, path_type);
}

bool image_io_exists(const char* name, int path_type) {
  if (!name || !*name) return false;
  FileHandle fh;
  return fh.find(name, path_type);
}

bool image_io_write_file(const char* name, int path_type, const void* data, size_t size, bool* opened) {
  if (opened) *opened = false;
  if (!name || !*name || size > static_cast<size_t>(INT_MAX)) return false;
  FileHandle fh;
  if (fh.open(name, VF_WRITE, path_type) != VF_OK) return false;
  if (opened) *opened = true;
  if (size > 0 && fh.write(data, static_cast<int>(size)) <= 0) return false;
  return fh.close() == VF_OK;
}

std::string image_io_make_name(const char* name, const char* ext) {
  if (!name) return std::string();
  std::string s(name);
  const size_t dot = s.find_last_of('.');
  const size_t slash = s.find_last_of("\\/");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) s.erase(dot);
  if (ext && *ext != '.') s += '.';
  if (ext) s += ext;
  return s;
}

std::string image_io_write_path(const char* name, int path_type) {
  if (!name || !*name) return std::string();
  FileHandle fh;
  fh.find(name, path_type);
  const char* full = fh.full_path();
  if (!full || !*full) return std::string(name);
  if (fh.type() > 0) vfile_create_type_dir(fh.type());
  char resolved[VFILE_MAX_PATH];
  if (vfile_resolve_path(full, resolved, sizeof resolved)) return std::string(resolved);
  return std::string(full);
}
