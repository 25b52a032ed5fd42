#include "selection/Scanner.h"
#include <windows.h>
void Scanner(const ScanContext&) {}
void rescanLoop(const ScanContext*, ScanGate*) { for (;;) Sleep(2000); }
