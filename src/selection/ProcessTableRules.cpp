#include "selection/ProcessTable.h"
bool ProcessTable::lineageContains(std::uint32_t start, std::uint32_t sought) const { return start != 0 && start == sought; }
bool isIgnoredName(const std::u16string&) { return false; }
