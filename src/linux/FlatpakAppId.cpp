#include "linux/FlatpakAppId.h"

#include "linux/ProcFiles.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// Flatpak's own files hold a few hundred bytes; anything far larger is not one.
constexpr std::size_t largestInfo = 64 * 1024;

// The whole of a regular file opened without following a final link and
// without waiting on it; nothing when it is not one or is too large.
std::optional<std::string> smallRegularFile(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::size_t>(status.st_size) <= largestInfo) {
        // The size is checked again while reading: the file may grow meanwhile.
        content = readUpTo(descriptor, largestInfo);
    }
    close(descriptor);
    return content;
}

}  // namespace

std::optional<std::string> flatpakAppIdOf(std::uint32_t processId) {
    const auto info = smallRegularFile("/proc/" + std::to_string(processId) + "/root/.flatpak-info");
    if (!info) {
        return std::nullopt;
    }
    const std::unique_ptr<GKeyFile, void (*)(GKeyFile*)> keys(g_key_file_new(), g_key_file_free);
    if (!g_key_file_load_from_data(keys.get(), info->data(), info->size(), G_KEY_FILE_NONE, nullptr)) {
        return std::nullopt;
    }
    const std::unique_ptr<gchar, void (*)(gpointer)> name(
        g_key_file_get_string(keys.get(), "Application", "name", nullptr), g_free);
    if (!name || *name == '\0') {
        return std::nullopt;
    }
    return std::string(name.get());
}
