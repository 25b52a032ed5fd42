#include "app/StandardInputWatch.h"
void startStandardInputWatch() {}
