#include <windows.h>

#include "win/command_args.h"
#include "win/mod_main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return modMain::Main(tavric::win::command_arguments(::GetCommandLineW()));
}
