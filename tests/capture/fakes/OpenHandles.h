#pragma once
// How many kernel handles this process has open, from the system's handle
// table. Tests compare it before and after: whatever the code under test
// opened (events, threads) must be closed again.

int openHandleCount();
