// Process entry: until the shell arrives, the program only says it has nothing to run yet.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return -1; }
