// Entry of Cardpost: the application object does the work.
#include "BridgeApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return theApp.Run(); }
