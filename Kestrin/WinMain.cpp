// Entry of Kestrin, the verification desk: the program object does the work.
#include <windows.h>

#include "KestrinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) { return qx::kestrin::RunKestrin(show); }
