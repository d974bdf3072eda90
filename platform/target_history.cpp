#include "platform/target_history.h"

#include "platform/user_folders.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace zentrel::platform {

namespace {

// Enough for every folder a person backs up to; the oldest go first.
constexpr std::size_t Most_Targets = 200;

using Record = std::vector<std::pair<std::string, std::string>>;  // target, mount point

// One line a target: its mount point, a tab, the target. Paths holding a
// tab or a line break are never written, so every line reads back whole.
Record read_record(const std::string& file) {
    Record record;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 == line.size()) continue;
        record.emplace_back(line.substr(tab + 1), line.substr(0, tab));
    }
    return record;
}

bool writable_text(const std::string& path) { return path.find_first_of("\t\n") == std::string::npos; }

}  // namespace

std::string target_history_file() { return xdg_folder("XDG_STATE_HOME", ".local/state") + "/zentrel/target-mounts"; }

std::optional<std::string> remembered_mount_point(const std::string& target) {
    try {
        const Record record = read_record(target_history_file());
        for (auto it = record.rbegin(); it != record.rend(); ++it)
            if (it->first == target) return it->second;
    } catch (...) {
    }
    return std::nullopt;
}

void remember_mount_point(const std::string& target, const std::string& mount_point) {
    if (target.empty() || mount_point.empty() || !writable_text(target) || !writable_text(mount_point)) return;
    try {
        const std::string file = target_history_file();
        Record record = read_record(file);
        std::erase_if(record, [&](const auto& entry) { return entry.first == target; });
        record.emplace_back(target, mount_point);
        if (record.size() > Most_Targets) record.erase(record.begin(), record.end() - Most_Targets);
        std::ostringstream text;
        for (const auto& [folder, point] : record) text << point << '\t' << folder << '\n';

        // Written beside and renamed over, so that two runs ending at once
        // leave one whole record or the other.
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
        const std::string temporary = file + "." + std::to_string(::getpid());
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << text.str();
            if (!out.flush()) {
                std::filesystem::remove(temporary, ignored);
                return;
            }
        }
        if (std::rename(temporary.c_str(), file.c_str()) != 0) std::filesystem::remove(temporary, ignored);
    } catch (...) {
    }
}

}  // namespace zentrel::platform
