#pragma once
// The program under measurement as a parent runs it: started in all-except
// mode with three pipes, its stream read from the start on a thread of its
// own (StreamReader), ended by closing its standard input.
//
// Threads: the reader's thread calls only process.read(); the owning thread
// everything else (ProgramProcess keeps the two on separate descriptors).

#include "ProgramProcess.h"
#include "StreamReader.h"

namespace linuxbench {

struct RunningProgram {
    ProgramProcess process;
    StreamReader reader;

    // `options` follow the target on the command line.
    explicit RunningProgram(bool keepSamples, const std::vector<std::string>& options = {})
        : process(withTarget(options)), reader([this] { return process.read(1, 0.1); }, keepSamples) {}
    ~RunningProgram() { end(); }

    bool ready() { return process.waitReady(20); }
    // Stops reading, then ends the program as a parent does; its exit code.
    int end() {
        reader.stop();
        return process.finish(5);
    }

private:
    static std::vector<std::string> withTarget(const std::vector<std::string>& options) {
        std::vector<std::string> argv{VINTRA_LINUX_PROGRAM, "--all-except", "0"};
        argv.insert(argv.end(), options.begin(), options.end());
        return argv;
    }
};

}  // namespace linuxbench
