// Shared set-up of the fuzz targets: each target process works in a
// scratch folder of its own, holding copies of the data files it needs,
// so that files the engine writes (or a fuzzed "Brevalt.ini") never touch
// the source tree and two targets never share a file.
#pragma once

#include <string>
#include <vector>

namespace brevalt::fuzz {

// Makes a fresh scratch folder, copies the named files of the shipped data
// folder into it and makes it the working folder. Ends the process with a
// message when that fails: a target that cannot set up must not fuzz.
void enter_scratch_folder(const std::vector<std::string>& data_files);

// Loads the tables the engine reads at start (move file, key values,
// small hash tables), as the engine's start-up does.
void load_engine_tables();

// Writes bytes to a file of the working folder; false when it cannot.
bool write_file(const char* name, const unsigned char* data, size_t size);

}  // namespace brevalt::fuzz
