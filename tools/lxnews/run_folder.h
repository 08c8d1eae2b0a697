#pragma once

#include <string>

namespace lxnews {

// The run's temporary folder, made when first needed and removed with all it
// holds when the object goes, on every way out of main.
class RunFolder {
public:
    RunFolder() = default;
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    ~RunFolder();

    // The program log: `requested`, or a file in the temporary folder when it
    // is empty. Empty, with `error` set, when the file cannot be written.
    std::string LogPath(const std::string& requested, std::string& error);
    bool isTemporary(const std::string& path) const;

private:
    std::string folder_;
};

}  // namespace lxnews
