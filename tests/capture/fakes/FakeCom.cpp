#include "fakes/FakeCom.h"

#include <mutex>

namespace {

std::atomic<int> liveFakes{0};
std::mutex logLock;  // guards entries
std::vector<std::string> entries;

}  // namespace

int fakeLiveObjects() {
    return liveFakes.load();
}

void noteFakeCreated() {
    ++liveFakes;
}

void noteFakeDestroyed() {
    --liveFakes;
}

void logFake(std::string entry) {
    std::lock_guard<std::mutex> guard(logLock);
    entries.push_back(std::move(entry));
}

std::vector<std::string> fakeLog() {
    std::lock_guard<std::mutex> guard(logLock);
    return entries;
}

void clearFakeLog() {
    std::lock_guard<std::mutex> guard(logLock);
    entries.clear();
}

std::vector<std::string> fakeLogStartingWith(const std::string& prefix) {
    std::vector<std::string> matching;
    for (const std::string& entry : fakeLog()) {
        if (entry.compare(0, prefix.size(), prefix) == 0) {
            matching.push_back(entry);
        }
    }
    return matching;
}
