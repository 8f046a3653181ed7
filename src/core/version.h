// The engine's name and version as it announces them. The version number
// is the project version in CMakeLists.txt, which passes it to every
// source file as BREVALT_VERSION: it is written down in one place only.
#pragma once

#ifndef BREVALT_VERSION
#error "BREVALT_VERSION is defined by CMakeLists.txt from the project version"
#endif

namespace brevalt {

// The name and the version, as in the xboard "myname" feature and UCI's
// "id name"; the --version and --help texts start with it too.
constexpr const char* ENGINE_NAME = "Brevalt " BREVALT_VERSION;

}  // namespace brevalt
