// brevalt-pipe-relay.exe PROGRAM [ARGS...]: runs PROGRAM with its standard
// input on a Windows pipe (CreatePipe), fed from the relay's own standard
// input, as WinBoard and Arena feed an engine; standard output and error
// are passed on unchanged, and the relay ends with PROGRAM's exit status.
//
// A test tool for running Windows programs under Wine from Linux: a Linux
// program that starts Wine hands it Unix pipes, on which Wine does not
// support PeekNamedPipe (it fails with ERROR_NOT_SUPPORTED), so the
// engine could not learn without blocking whether a command is waiting.
// The pipe made here is Wine's own, on which the query works as on
// Windows. Not shipped: on Windows the interface makes such a pipe itself.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace {

HANDLE from_interface = nullptr;  // the relay's own standard input
HANDLE to_program = nullptr;      // the write end of the program's pipe

// Copies the relay's input to the program as it arrives, and closes the
// program's input when the relay's ends, so that the program sees the end.
DWORD WINAPI copy_input(void*) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(from_interface, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    for (DWORD done = 0, put = 0; done < got; done += put)
      if (!WriteFile(to_program, buffer + done, got - done, &put, nullptr)) return 0;
  }
  CloseHandle(to_program);
  return 0;
}

// The relay's command line less its own name: the program and its arguments
// exactly as they were written.
const char* rest_of_command_line() {
  const char* p = GetCommandLineA();
  const bool quoted = *p == '"';
  for (++p; *p && (quoted ? *p != '"' : *p != ' ' && *p != '\t'); ++p) {
  }
  if (quoted && *p == '"') ++p;
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

int main() {
  std::string command = rest_of_command_line();
  if (command.empty()) {
    const char usage[] = "usage: brevalt-pipe-relay.exe PROGRAM [ARGS...]\n";
    DWORD put = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), usage, sizeof usage - 1, &put, nullptr);
    return 2;
  }
  from_interface = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE program_input = nullptr;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(&program_input, &to_program, &inherit, 0)) return 3;
  SetHandleInformation(to_program, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = program_input;
  start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process))
    return 127;
  CloseHandle(program_input);
  CloseHandle(process.hThread);
  // The copier may stay blocked on a read after the program has ended; the
  // relay's exit ends it.
  CreateThread(nullptr, 0, copy_input, nullptr, 0, nullptr);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  ExitProcess(status);
}
