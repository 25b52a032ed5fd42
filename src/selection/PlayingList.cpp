#include "selection/PlayingList.h"

#include "selection/ProgramNames.h"

#include <nlohmann/json.hpp>

#include <map>

namespace {

void takeFirst(std::optional<std::string>& field, const std::optional<std::string>& offered) {
    if (!field && offered) {
        field = offered;
    }
}

nlohmann::ordered_json orNull(const std::optional<std::string>& text) {
    return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json orNull(const std::optional<std::uint32_t>& number) {
    return number ? nlohmann::ordered_json(*number) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::vector<PlayingEntry> playingEntries(const ProcessTable& table, std::span<const PlayingReport> reports,
                                         std::uint32_t ownPid, const TableNameText& text) {
    std::map<std::uint32_t, PlayingEntry> byProcess;
    std::vector<PlayingEntry> unknown;
    for (const PlayingReport& report : reports) {
        if (!report.processId) {
            PlayingEntry entry;
            entry.name = report.name;
            entry.media = report.media;
            entry.icon = report.icon;
            if (!report.claimedProgram.empty()) {
                entry.exe = report.claimedProgram;
            }
            entry.ignored = isIgnoredName(lowerCased(nameFromBytes(report.claimedProgram)));
            entry.playing = report.playing;
            unknown.push_back(std::move(entry));
            continue;
        }
        const std::uint32_t pid = *report.processId;
        if (pid == ownPid) {
            continue;
        }
        auto [found, isNew] = byProcess.try_emplace(pid);
        PlayingEntry& entry = found->second;
        if (isNew) {
            entry.pid = pid;
            entry.appPid = applicationProcessOf(table, pid);
            if (const std::u16string program = programOf(table, pid); !program.empty()) {
                entry.exe = text(program);
            }
            const auto name = table.names.find(pid);
            entry.ignored = name != table.names.end() && isIgnoredName(name->second);
        }
        takeFirst(entry.name, report.name);
        takeFirst(entry.media, report.media);
        takeFirst(entry.icon, report.icon);
        entry.playing = entry.playing || report.playing;
    }
    std::vector<PlayingEntry> entries;
    for (auto& [pid, entry] : byProcess) {
        entries.push_back(std::move(entry));
    }
    entries.insert(entries.end(), std::make_move_iterator(unknown.begin()), std::make_move_iterator(unknown.end()));
    return entries;
}

std::string playingListLine(std::span<const PlayingEntry> entries) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const PlayingEntry& entry : entries) {
        list.push_back({{"pid", orNull(entry.pid)},
                        {"app_pid", orNull(entry.appPid)},
                        {"exe", orNull(entry.exe)},
                        {"name", orNull(entry.name)},
                        {"media", orNull(entry.media)},
                        {"icon", orNull(entry.icon)},
                        {"app_id", orNull(entry.appId)},
                        {"ignored", entry.ignored},
                        {"playing", entry.playing}});
    }
    return list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
