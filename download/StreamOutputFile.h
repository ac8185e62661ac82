#pragma once
// The one file a stream download writes: made new by this run (never an existing file
// or a link), written in order, cut back when a piece is fetched again, and removed
// again unless the run completes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsel {

class StreamOutputFile {
public:
    StreamOutputFile() = default;
    // Removes the file unless Finish succeeded.
    ~StreamOutputFile();
    StreamOutputFile(const StreamOutputFile&) = delete;
    StreamOutputFile& operator=(const StreamOutputFile&) = delete;

    // Creates `path`; fails when anything, a link included, is already there.
    bool Create(const std::string& path);
    bool Append(const char* data, std::size_t size);
    // Drops everything from `size` on.
    bool TruncateTo(std::uint64_t size);
    std::uint64_t Size() const { return m_nSize; }
    // Closes the file and keeps it; false when it could not be written whole.
    bool Finish();
    // Closes and removes the file, if this object created it.
    void Discard();
    // The errno of the first failure; 0 when none failed.
    int Error() const { return m_nErrno; }
    const std::string& Path() const { return m_strPath; }

private:
    bool Note(bool ok);

    int m_fd = -1;
    std::string m_strPath;
    std::uint64_t m_nSize = 0;
    bool m_bKept = false;
    int m_nErrno = 0;
};

}  // namespace tamsel
