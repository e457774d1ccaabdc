// A DLL that calls a KERNEL32 function the simulated host does not provide.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Beep(440, 10);
  return TRUE;
}
