#include "MeasuredProgram.h"

namespace measure {
namespace {

std::wstring commandLine(const std::wstring& exe, const std::vector<std::wstring>& args) {
    std::wstring line = L"\"" + exe + L"\"";
    for (const std::wstring& arg : args) line += L" " + arg;
    return line;
}

}  // namespace

MeasuredProgram::MeasuredProgram(const std::wstring& exe, const std::vector<std::wstring>& args)
    : child(commandLine(exe, args)) {}

MeasuredProgram::~MeasuredProgram() {
    child.closeInput();
    child.waitExit(exitBoundMs);
    closeOutput();
}

bool MeasuredProgram::waitForReady(DWORD boundMs) {
    const bool ready = child.waitReady(boundMs);
    readyAt = now();
    return ready;
}

void MeasuredProgram::startReading() {
    reader = std::thread([this] {
        constexpr std::size_t blockBytes = 3840;
        std::vector<char> buffer(65536);
        std::size_t partial = 0;
        bool sound = false;  // in the block being read
        DWORD got = 0;
        const DWORD size = static_cast<DWORD>(buffer.size());
        while (!stopReading && ReadFile(child.output(), buffer.data(), size, &got, nullptr) && got > 0) {
            const Ticks at = now();
            std::lock_guard<std::mutex> guard(mutex);
            for (DWORD i = 0; i < got; ++i) {
                sound = sound || buffer[i] != 0;
                if (++partial < blockBytes) continue;
                stamps.push_back(at);
                sounding.push_back(sound);
                partial = 0;
                sound = false;
            }
        }
        child.closeOutput();
    });
}

std::size_t MeasuredProgram::blockCount() const {
    std::lock_guard<std::mutex> guard(mutex);
    return stamps.size();
}

bool MeasuredProgram::waitForBlocks(std::size_t count, DWORD boundMs) const {
    for (const ULONGLONG deadline = GetTickCount64() + boundMs; blockCount() < count; Sleep(5)) {
        if (GetTickCount64() > deadline) return false;
    }
    return true;
}

std::vector<bool> MeasuredProgram::soundingBlocks() const {
    std::lock_guard<std::mutex> guard(mutex);
    return sounding;
}

std::vector<Ticks> MeasuredProgram::arrivals() const {
    std::lock_guard<std::mutex> guard(mutex);
    return stamps;
}

void MeasuredProgram::closeOutput() {
    stopReading = true;
    if (reader.joinable()) {
        reader.join();
    } else {
        child.closeOutput();
    }
}

}  // namespace measure
