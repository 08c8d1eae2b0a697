#include "tools/lxnews/run_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace lxnews {

RunFolder::~RunFolder() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string RunFolder::LogPath(const std::string& requested, std::string& error) {
    std::string path = requested;
    if (path.empty()) {
        std::error_code failure;
        std::string pattern = (std::filesystem::temp_directory_path(failure) / "lxnews-XXXXXX").string();
        if (failure || mkdtemp(&pattern[0]) == nullptr) {
            error = "cannot make a temporary folder for the program log: " + std::string(std::strerror(errno)) +
                    " (use --log FILE)";
            return std::string();
        }
        folder_ = pattern;
        path = folder_ + "/program.log";
    }
    // The host's log falls back to standard error when it cannot open the file; say so here instead.
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        error = "cannot write the program log " + path + ": " + std::strerror(errno);
        return std::string();
    }
    std::fclose(file);
    return path;
}

bool RunFolder::isTemporary(const std::string& path) const {
    return !folder_.empty() && path.compare(0, folder_.size(), folder_) == 0;
}

}  // namespace lxnews
