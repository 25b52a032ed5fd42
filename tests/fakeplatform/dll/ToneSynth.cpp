// Tone synthesis for the fake loopback streams.

#include "ToneSynth.h"

#include <cmath>

namespace fakeplatform {
namespace {

constexpr int tableBits = 12;
constexpr int tableSize = 1 << tableBits;

struct SineTable {
    std::int16_t values[tableSize];
    SineTable() {
        for (int i = 0; i < tableSize; ++i) {
            values[i] = static_cast<std::int16_t>(std::lround(32767.0 * std::sin(2.0 * 3.14159265358979323846 * i / tableSize)));
        }
    }
};

const SineTable& sineTable() {
    static const SineTable table;
    return table;
}

int findPublished(const fake::ControlRecord& record, DWORD pid) {
    for (int i = 0; i < fake::maxPlayers; ++i) {
        const fake::PlayerSlot& slot = record.slots[i];
        if (slot.inUse == fake::slotPublished && static_cast<DWORD>(slot.processId) == pid) return i;
    }
    return -1;
}

void recomputeMembers(const fake::ControlRecord& record, DWORD target, ToneState& state) {
    state.generation = record.generation;
    state.membersKnown = true;
    state.memberCount = 0;
    for (int i = 0; i < fake::maxPlayers; ++i) {
        if (record.slots[i].inUse != fake::slotPublished) continue;
        if (slotDescendsFrom(record, i, target)) state.members[state.memberCount++] = static_cast<std::uint8_t>(i);
    }
}

}  // namespace

bool slotDescendsFrom(const fake::ControlRecord& record, int index, DWORD target) {
    if (target == 0) return false;
    DWORD current = static_cast<DWORD>(record.slots[index].processId);
    // 64 steps bound the walk even when reused process ids make a cycle.
    for (int step = 0; step < 64 && current != 0; ++step) {
        if (current == target) return true;
        int at = findPublished(record, current);
        if (at < 0) return false;
        current = static_cast<DWORD>(record.slots[at].parentProcessId);
    }
    return false;
}

bool synthesizePacket(const fake::ControlRecord& record, DWORD target, ToneState& state, std::int16_t* out) {
    if (!state.membersKnown || state.generation != record.generation) recomputeMembers(record, target, state);

    const std::int16_t* sine = sineTable().values;
    std::int32_t sum[packetSamples];
    bool anyPlaying = false;
    for (int m = 0; m < state.memberCount; ++m) {
        const int index = state.members[m];
        const fake::PlayerSlot& slot = record.slots[index];
        if (slot.inUse != fake::slotPublished || !slot.playing) continue;
        if (!anyPlaying) {
            for (std::int32_t& s : sum) s = 0;
            anyPlaying = true;
        }
        LONG frequency = slot.frequencyHz;
        if (frequency < 1 || frequency >= sampleRate / 2) continue;
        const std::int32_t level = slot.level < 0 ? 0 : (slot.level > 32767 ? 32767 : slot.level);
        const LONG channels = slot.channelMask;
        const std::uint32_t step = static_cast<std::uint32_t>((static_cast<std::uint64_t>(frequency) << 32) / sampleRate);
        std::uint32_t phase = state.phase[index];
        const bool left = channels & fake::channelLeft;
        const bool right = channels & fake::channelRight;
        for (int f = 0; f < packetFrames; ++f) {
            const std::int32_t value = (sine[phase >> (32 - tableBits)] * level) >> 15;
            if (left) sum[2 * f] += value;
            if (right) sum[2 * f + 1] += value;
            phase += step;
        }
        state.phase[index] = phase;
    }
    if (!anyPlaying) return false;
    for (int i = 0; i < packetSamples; ++i) {
        const std::int32_t s = sum[i];
        out[i] = static_cast<std::int16_t>(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
    }
    return true;
}

}  // namespace fakeplatform
