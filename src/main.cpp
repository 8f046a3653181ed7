// Brevalt: a chess engine speaking the chess engine communication protocol
// (and UCI, when the first command is "uci") on standard input and output.
// Started as interfaces start it, it plays; --version and --help answer a
// person at a terminal and exit. Any other argument is ignored, as it
// always was: interfaces and scripts that pass some must keep working.
#include <cstdio>
#include <cstring>

#include "config/data_folder.h"
#include "core/version.h"
#include "frontend/mainloop.h"

#ifndef BREVALT_PROGRAM_DATA_DIRS
#define BREVALT_PROGRAM_DATA_DIRS "."
#endif

namespace {

constexpr const char* VERSION_TEXT =
    "Brevalt " BREVALT_VERSION "\n"
    "License GPL-3.0-or-later\n";

constexpr const char* HELP_TEXT =
    "Brevalt " BREVALT_VERSION ", a chess engine.\n"
    "\n"
    "Usage: brevalt            play, talking to a chess interface on standard input and output\n"
    "       brevalt --version  print the version and the licence, and exit\n"
    "       brevalt --help     print this text and exit\n"
    "Other arguments are ignored.\n"
    "\n"
    "Brevalt has no window of its own. A chess interface (xboard, WinBoard, a UCI\n"
    "interface, cutechess-cli, lichess-bot) starts it and sends it commands, one per\n"
    "line. It speaks the xboard protocol (CECP, version 2); when the first command\n"
    "is \"uci\" it speaks UCI for the rest of the session.\n"
    "\n"
    "It reads these files from its working folder at start:\n"
    "  MoveFile, hash_values  move tables and position keys (required)\n"
    "  Brevalt.ini            settings: opening book, hash size, kibitz, resign\n"
    "  book_normal.bin        the opening book (optional)\n"
    "or, when the working folder has neither MoveFile nor hash_values, from the\n"
    "folder of the program itself or the installed data folder (named on standard\n"
    "error). It writes epd1.epd, mob.txt, epd_stats.txt, \"error file\" and\n"
    "\"game error\" in its working folder. The installed brevalt command runs it in\n"
    "a folder of the user's, ${XDG_DATA_HOME:-~/.local/share}/brevalt, holding links\n"
    "to the installed files.\n"
    "\n"
    "Brevalt is free software under GPL-3.0-or-later; see COPYING.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0) {
      std::fputs(VERSION_TEXT, stdout);
      return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      std::fputs(HELP_TEXT, stdout);
      return 0;
    }
  }
  // Where the build put the data files, for an interface that starts the
  // engine in a folder without them.
  brevalt::settings.program_data_folders = BREVALT_PROGRAM_DATA_DIRS;
  brevalt::main_loop();
}
