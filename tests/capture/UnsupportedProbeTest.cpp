// The shipped exe, unmodified, under stock Wine: Wine accepts a
// process-loopback activation but reports 0x80070002 for it, so start-up must
// end with exactly the "unsupported" line, nothing on standard output and
// exit code 2. Started as a parent starts it: CreateProcessW with three pipes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The build gives the Linux path of the exe; Wine maps the root on drive Z.
std::wstring exePath() {
    std::string linuxPath = VINTRA_APP_EXE;
    std::wstring path = L"Z:";
    for (char c : linuxPath) {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return path;
}

std::string readAll(HANDLE pipe) {
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        all.append(buffer, got);
    }
    return all;
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};

Pipe makePipe(bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Pipe pipe;
    EXPECT_TRUE(CreatePipe(&pipe.read, &pipe.write, &inherit, 0));
    // Only the child's end is inherited.
    SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

TEST(UnsupportedProbe, StockWineGetsTheUnsupportedLineAndExitCodeTwo) {
    Pipe input = makePipe(true);
    Pipe output = makePipe(false);
    Pipe error = makePipe(false);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.read;
    startup.hStdOutput = output.write;
    startup.hStdError = error.write;
    std::wstring commandLine = L"\"" + exePath() + L"\" --all-except 0";
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                               &child))
        << "cannot start " << std::string(VINTRA_APP_EXE) << ", error " << GetLastError();
    CloseHandle(input.read);
    CloseHandle(output.write);
    CloseHandle(error.write);

    // A probe that wrongly succeeded would run on; do not wait for ever.
    DWORD waited = WaitForSingleObject(child.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 99);
        WaitForSingleObject(child.hProcess, 10000);
    }
    CloseHandle(input.write);
    std::string errorText = readAll(error.read);
    std::string outputBytes = readAll(output.read);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(output.read);
    CloseHandle(error.read);

    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the program did not end; standard error: " << errorText;
    EXPECT_EQ(errorText, "unsupported 0x80070002\n");
    EXPECT_EQ(outputBytes.size(), 0u);
    EXPECT_EQ(exitCode, 2u);
}

}  // namespace
