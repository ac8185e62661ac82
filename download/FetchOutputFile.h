#pragma once
// The file a fetcher writes: created or truncated, locked against a second fetcher
// writing the same path, buffered so that small blocks cost no system call each.

#include <cstddef>
#include <string>
#include <vector>

namespace tamsel {

class FetchOutputFile {
public:
    FetchOutputFile() = default;
    ~FetchOutputFile();
    FetchOutputFile(const FetchOutputFile&) = delete;
    FetchOutputFile& operator=(const FetchOutputFile&) = delete;

    // Creates the file or empties an existing one. Fails when it cannot be opened for
    // writing or another fetcher of this process family holds it.
    bool Open(const std::string& path);
    // False once any write has failed (disk full, file too large, I/O error).
    bool Append(const char* data, std::size_t size);
    // Writes what is buffered and closes; false when anything could not be written.
    bool Finish();
    // Closes and removes the file; for a stopped or failed run.
    void Discard();
    // The errno of the first failed open, write or close; 0 when none failed.
    int Error() const { return m_nErrno; }

private:
    bool Flush();
    void NoteError();
    void Close();

    int m_fd = -1;
    std::string m_path;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    bool m_bFailed = false;
    int m_nErrno = 0;
};

}  // namespace tamsel
