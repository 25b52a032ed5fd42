#include "selection/ProcessTable.h"
void ProcessTable::refresh() { parents.clear(); names.clear(); }
