// A scratch directory that becomes the current directory for a test's
// lifetime, with helpers to write and read whole files as bytes.
#pragma once

#include <filesystem>
#include <string>

namespace gscmerge::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

void writeFile(const std::filesystem::path& path, const std::string& bytes);
[[nodiscard]] std::string readFile(const std::filesystem::path& path);
[[nodiscard]] bool fileExists(const std::filesystem::path& path);

}  // namespace gscmerge::testing
