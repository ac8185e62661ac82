#pragma once
// The part file a fetcher writes: created so that it can never be a file, link or FIFO
// that was there before, reopened only when it is still the very file this run created,
// buffered so that small blocks cost no system call each, and moved into place without
// replacing anything.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tamsel {

// Which file on disk: a part file is ours only while path and identity still match.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool IsSet() const { return device != 0 || inode != 0; }
    bool operator==(const FileIdentity&) const = default;
};

class FetchOutputFile {
public:
    FetchOutputFile() = default;
    ~FetchOutputFile();
    FetchOutputFile(const FetchOutputFile&) = delete;
    FetchOutputFile& operator=(const FetchOutputFile&) = delete;

    // Creates a new, empty regular file at `path`: fails (Error() EEXIST) when anything
    // is there already, a dangling link included, and never blocks on a FIFO.
    bool Create(const std::string& path);
    // Opens the file at `path` for appending, only when it is the regular file `identity`
    // names (the one Create made); fails with ESTALE otherwise.
    bool Reopen(const std::string& path, const FileIdentity& identity);
    FileIdentity Identity() const { return m_identity; }
    // Bytes in the file, buffered ones included.
    std::uint64_t Size() const { return m_nWritten + m_used; }
    // Empties the file (it is ours: Create made it).
    bool Truncate();
    // Drops everything from `size` on (a piece fetched again); `size` <= Size().
    bool TruncateTo(std::uint64_t size);
    // Writes `size` bytes at `offset`, for files fetched in pieces; the same checks as
    // Append. Appends and pieces do not mix before a TruncateTo.
    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size);
    // How many bytes are still to come, when known, so the free-space check asks for no
    // more than that; 0: unknown.
    void ExpectRemaining(std::uint64_t bytes) { m_nExpected = bytes; }
    // False once any write has failed (disk full, file too large, I/O error). The free
    // space is looked at before the first write and then once per few MiB.
    bool Append(const char* data, std::size_t size);
    // Writes what is buffered and closes; false when anything could not be written.
    bool Finish();
    void Close();
    // The errno of the first failed open, write or close; 0 when none failed.
    int Error() const { return m_nErrno; }

private:
    bool Flush();
    bool Adopt(int fd, const std::string& path);
    // Checks the disk for `size` more bytes and counts them off what is still to come;
    // a full disk fails the file with ENOSPC.
    bool ReserveSpace(std::size_t size);
    bool EnoughSpace(std::size_t size);
    void NoteError();

    int m_fd = -1;
    std::string m_path;
    FileIdentity m_identity;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_nWritten = 0;
    std::uint64_t m_nExpected = 0;
    std::uint64_t m_nUncheckedBytes = 0;
    bool m_bSpaceChecked = false;
    bool m_bFailed = false;
    int m_nErrno = 0;
};

// Moves `from` to `to` in the same folder, never replacing anything at `to`; false with
// errno EEXIST when `to` is taken, other errno values for other failures.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Removes `path` only when it is still the file `identity` names; true when it is gone.
bool RemoveOwnFile(const std::string& path, const FileIdentity& identity);

}  // namespace tamsel
