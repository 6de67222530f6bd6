// A folder of a test's own in the system's temporary folder, removed with everything in it at the
// end; the test may work in it, as the program reads and writes its settings file in the working
// folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

class TempFolder {
public:
    enum class Enter { No, Yes };

    explicit TempFolder(std::string_view stem, Enter enter = Enter::No)
        : path_(std::filesystem::temp_directory_path()
                / ("skarvel-" + std::string(stem) + "-" + std::to_string(std::random_device{}())))
    {
        std::filesystem::create_directories(path_);
        if (enter == Enter::Yes) {
            left_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!left_.empty())
            std::filesystem::current_path(left_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / std::string(name); }

private:
    std::filesystem::path path_;
    std::filesystem::path left_;   // the working folder before, when the test works in this one
};

inline std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The file's lines, each ended by the system's line end (a last one without it is left out).
inline std::vector<std::string> FileLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    const std::string bytes = FileBytes(path);
    for (std::size_t at = 0, end; (end = bytes.find(SystemLineEnd, at)) != std::string::npos;
         at = end + SystemLineEnd.size())
        lines.push_back(bytes.substr(at, end - at));
    return lines;
}

inline void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}
