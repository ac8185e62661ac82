#pragma once
// Real files for tests: a temporary folder removed with everything in it.

#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string m_strPath;
};

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);

}  // namespace testsupport
