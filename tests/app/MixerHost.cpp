// Test helper: the program's output half on its own, with no sources and no
// probe, so that it runs where per-process loopback capture does not. It
// watches standard input and runs the mixer as the program does; when the
// mixer returns it says so on standard error (the program itself does not)
// so that a test can tell that road from the input watch's.

#include "windows/Mixer.h"
#include "windows/StandardInputWatch.h"
#include "windows/StandardStreams.h"

#include <mutex>

int main() {
    setStandardOutputBinary();
    startStandardInputWatch();
    std::mutex sourceMapLock;
    SourceMap sources;
    Mixer(sourceMapLock, sources);
    writeStandardError("mixer returned\n");
    return 0;
}
