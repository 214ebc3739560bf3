/* A library file that the install check expects beside the program. It exports nothing, imports
   nothing and runs nothing but the loader's attach call, which only succeeds; the tools do not
   use it. */
#include <windows.h>

BOOL WINAPI CompanionEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return TRUE;
}
