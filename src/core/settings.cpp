// Storage of the settings, with the defaults that hold until "Brevalt.ini"
// has been read.
#include "core/settings.h"

namespace brevalt {

int32_t book_enabled = 1;
int32_t hash_size_code = 3;
int32_t kibitz_enabled = 1;
int32_t resign_enabled = 1;
int32_t book_random = 1;
char book_file_name[DATA_PATH_SIZE];

}  // namespace brevalt
