#include "capture/CaptureSource.h"
void CaptureSource::captureLoop() {}
void CaptureSource::stop() { running = false; }
