#include "StreamReader.h"

#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace linuxbench {

StreamReader::StreamReader(Next nextPiece, bool keepSamples)
    : next(std::move(nextPiece)), keep(keepSamples), thread([this] {
          while (!stopping) {
              std::vector<float> piece = next();
              const auto arrival = Clock::now();
              if (piece.empty()) {
                  continue;
              }
              std::lock_guard lock(mutex);
              pieces_.push_back({arrival, total, piece.size()});
              total += piece.size();
              if (keep) {
                  samples_.insert(samples_.end(), piece.begin(), piece.end());
              }
          }
      }) {}

StreamReader::~StreamReader() {
    stop();
}

void StreamReader::stop() {
    stopping = true;
    if (thread.joinable()) {
        thread.join();
    }
}

std::vector<Piece> StreamReader::pieces() {
    std::lock_guard lock(mutex);
    return pieces_;
}

std::vector<float> StreamReader::samples() {
    std::lock_guard lock(mutex);
    return samples_;
}

std::size_t StreamReader::values() {
    std::lock_guard lock(mutex);
    return total;
}

StreamReader::Next rawFloats(int fd) {
    auto partial = std::make_shared<std::vector<char>>();
    return [fd, partial] {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 100) != 1) {
            return std::vector<float>{};
        }
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        partial->insert(partial->end(), buffer, buffer + (got > 0 ? got : 0));
        std::vector<float> values(partial->size() / sizeof(float));
        std::memcpy(values.data(), partial->data(), values.size() * sizeof(float));
        partial->erase(partial->begin(), partial->begin() + static_cast<long>(values.size() * sizeof(float)));
        if (got <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // ended: nothing more to wait for
        }
        return values;
    };
}

}  // namespace linuxbench
