// The library's entry point: records the module instance handle for the
// code that loads the library's resources.
#include "KwModule.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_hDllInstance = instance;
      break;
    case DLL_PROCESS_DETACH:
      g_hDllInstance = nullptr;
      break;
    default:  // thread attach and detach leave it alone
      break;
  }
  return TRUE;
}
