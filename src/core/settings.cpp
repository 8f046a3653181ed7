// Storage of the settings; the defaults hold until "Brevalt.ini" has been
// read.
#include "core/settings.h"

#include <cstring>

namespace brevalt {

Settings settings;

const BuiltinFile* builtin_file(const char* name) {
  if (!settings.builtin_files) return nullptr;
  for (const BuiltinFile* f = settings.builtin_files; f->name; ++f)
    if (std::strcmp(f->name, name) == 0) return f;
  return nullptr;
}

}  // namespace brevalt
