// A DLL that a framework's fusion.dll needs, for the Wine case that plants copies of it beside the
// tool and in the caller's current directory: built once, copied to each place. Loaded, it adds its
// own full path to C:\zt4marks.txt, so the case sees which copy the loader took.
#include <windows.h>

__declspec(dllexport) int PlantHelper(void) { return 1; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char line[MAX_PATH + 2];
  DWORD length = GetModuleFileNameA(instance, line, MAX_PATH);
  line[length++] = '\n';
  HANDLE marks = CreateFileA("C:\\zt4marks.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (marks == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  WriteFile(marks, line, length, &written, NULL);
  CloseHandle(marks);
  return TRUE;
}
