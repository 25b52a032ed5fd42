// record-wav: a complete parent of vintra-app-audio in one file.
//
//   record-wav <seconds> <out.wav> <path-to-vintra-app-audio.exe> [its arguments...]
//
// It does what any application embedding the program does: start it with
// three pipes, wait for "ready\n" on its standard error, read the raw stream
// (float32 LE, 48 kHz stereo, 3840-byte blocks of 10 ms) from its standard
// output, and stop it by closing its standard input. The stream is stored as a
// 32-bit float WAV file. Nothing here depends on how the capture platform is
// provided: it works against real Windows audio as it does in the tests.
//
// Threads: the main thread starts the child, reads the stream and stops the
// child; one reader thread drains the child's standard error (so the child can
// never block on it) and signals when "ready\n" has arrived.

#include "Recording.h"
#include "WavFile.h"

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using recording::blockBytes;
using recording::exitBoundMs;
using recording::readyBoundMs;

// Quotes one argument so that the child's CommandLineToArgvW gives it back
// unchanged (backslashes before a quote are doubled, as that parser expects).
std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};

// Both ends are created inheritable; the caller makes its own end
// non-inheritable so that the child (and anything else started later) gets
// only the end it is meant to have. Otherwise the child would hold the write
// end of its own standard input and never see it close.
bool makePipe(Pipe& pipe, bool parentReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&pipe.read, &pipe.write, &inheritable, 0)) {
        return false;
    }
    return SetHandleInformation(parentReads ? pipe.read : pipe.write, HANDLE_FLAG_INHERIT, 0) != 0;
}

void closeHandle(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// Reads the child's standard error to its end and keeps the text.
class ErrorReader {
public:
    explicit ErrorReader(HANDLE pipe) : thread([this, pipe] { run(pipe); }) {}
    ~ErrorReader() { thread.join(); }

    // True once "ready\n" arrived; false at the end of the stream or the bound.
    bool waitForReady(DWORD boundMs) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(boundMs),
                         [this] { return text.find("ready\n") != std::string::npos || ended; });
        return text.find("ready\n") != std::string::npos;
    }
    std::string received() {
        std::lock_guard lock(mutex);
        return text;
    }

private:
    void run(HANDLE pipe) {
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            std::lock_guard lock(mutex);
            text.append(buffer, got);
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }

    std::mutex mutex;  // guards text and ended
    std::condition_variable changed;
    std::string text;
    bool ended = false;
    std::thread thread;
};

// Fills `block` completely; false when the stream ended first.
bool readBlock(HANDLE pipe, char* block) {
    DWORD have = 0;
    while (have < blockBytes) {
        DWORD got = 0;
        if (!ReadFile(pipe, block + have, blockBytes - have, &got, nullptr) || got == 0) {
            return false;
        }
        have += got;
    }
    return true;
}

std::string narrow(const wchar_t* wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: record-wav <seconds> <out.wav> <path-to-exe> [exe args...]\n");
        return 64;
    }
    const std::optional<long long> blocksWanted = recording::blocksFor(narrow(argv[1]));
    if (!blocksWanted) {
        std::fprintf(stderr, "record-wav: seconds must be a positive number\n");
        return 64;
    }

    sound::WavWriter wav;
    if (!wav.open(narrow(argv[2]))) {
        std::fprintf(stderr, "record-wav: cannot create %s\n", narrow(argv[2]).c_str());
        return 66;
    }

    std::wstring commandLine = quoteArgument(argv[3]);
    for (int i = 4; i < argc; ++i) {
        commandLine += L' ';
        commandLine += quoteArgument(argv[i]);
    }

    Pipe input, output, error;
    if (!makePipe(input, false) || !makePipe(output, true) || !makePipe(error, true)) {
        std::fprintf(stderr, "record-wav: cannot create pipes (error %lu)\n", GetLastError());
        return 71;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.read;
    startup.hStdOutput = output.write;
    startup.hStdError = error.write;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(argv[3], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child)) {
        std::fprintf(stderr, "record-wav: cannot start %s (error %lu)\n", narrow(argv[3]).c_str(),
                     GetLastError());
        return 69;
    }
    CloseHandle(child.hThread);
    // The child has its ends now; ours must go, or the pipes never report an end.
    closeHandle(input.read);
    closeHandle(output.write);
    closeHandle(error.write);

    int status = 0;
    long long blocks = 0;
    {
        ErrorReader errors(error.read);
        if (!errors.waitForReady(readyBoundMs)) {
            std::fprintf(stderr, "record-wav: no \"ready\" from the program; it said: \"%s\"\n",
                         recording::printable(errors.received()).c_str());
            status = 1;
        } else {
            std::vector<char> block(blockBytes);
            while (blocks < *blocksWanted && readBlock(output.read, block.data())) {
                if (!wav.append({reinterpret_cast<const float*>(block.data()), blockBytes / sizeof(float)})) {
                    std::fprintf(stderr, "record-wav: cannot write the WAV file\n");
                    status = 74;
                    break;
                }
                ++blocks;
            }
            if (blocks < *blocksWanted && status == 0) {
                std::fprintf(stderr, "record-wav: the stream ended after %lld blocks\n", blocks);
                status = 1;
            }
        }
        // Closing its standard input is how a parent stops the program.
        closeHandle(input.write);
        if (WaitForSingleObject(child.hProcess, exitBoundMs) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "record-wav: the program did not end within %lu ms; terminating it\n",
                         exitBoundMs);
            TerminateProcess(child.hProcess, 255);
            WaitForSingleObject(child.hProcess, exitBoundMs);
            status = status != 0 ? status : 1;
        }
        // Its standard error ends with it; the reader's join follows here.
    }
    closeHandle(output.read);
    closeHandle(error.read);

    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    if (!wav.close()) {
        std::fprintf(stderr, "record-wav: cannot finish the WAV file\n");
        status = status != 0 ? status : 74;
    }
    recording::printSummary(blocks, narrow(argv[2]), exitCode);
    return status;
}
