// Brevalt: a chess engine speaking the chess engine communication protocol
// on standard input and output.
#include "frontend/mainloop.h"

int main() { brevalt::main_loop(); }
