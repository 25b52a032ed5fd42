#include "capture/OpenCaptureSource.h"
std::unique_ptr<CaptureSource> openCaptureSource(std::uint32_t) { return nullptr; }
