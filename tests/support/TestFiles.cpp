#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace testsupport {

TempDir::TempDir() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "tamsel-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) {
        m_strPath = buffer.data();
    }
}

TempDir::~TempDir() {
    if (!m_strPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_strPath, ignored);
    }
}

std::string TempDir::File(const std::string& name) const {
    return m_strPath + "/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

}  // namespace testsupport
