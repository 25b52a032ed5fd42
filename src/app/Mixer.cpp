#include "app/Mixer.h"
void Mixer(std::mutex&, SourceMap&) {}
