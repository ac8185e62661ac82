#include "download/FetchOutputFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tamsel {

namespace {

// Small pieces are gathered so a slow link does not cost a system call per block;
// pieces of at least kDirectWriteSize go straight to the file. The buffer is kept small
// on purpose: copying data that is still in the processor's cache into the page cache
// measured clearly cheaper than writing large, cold buffers.
constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::size_t kDirectWriteSize = 16 * 1024;
// The free space is asked for once per this many bytes, and this much must be free
// (or what is still to come, when less).
constexpr std::uint64_t kSpaceCheckBytes = 4 * 1024 * 1024;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;  // a write that takes nothing means the device is full
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

FileIdentity IdentityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino};
}

}  // namespace

FetchOutputFile::~FetchOutputFile() {
    Close();
}

bool FetchOutputFile::Create(const std::string& path) {
    Close();
    m_nErrno = 0;
    // O_EXCL with O_CREAT fails on anything there, a link included; O_NONBLOCK keeps a
    // FIFO that appears anyway from holding the worker in open().
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_nErrno = errno;
        return false;
    }
    return Adopt(fd, path);
}

bool FetchOutputFile::Reopen(const std::string& path, const FileIdentity& identity) {
    Close();
    m_nErrno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_nErrno = errno;
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !(IdentityOf(status) == identity)) {
        m_nErrno = IdentityOf(status) == identity ? errno : ESTALE;
        ::close(fd);
        return false;
    }
    if (!Adopt(fd, path)) {
        return false;
    }
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    if (end < 0) {
        m_nErrno = errno;
        Close();
        return false;
    }
    m_nWritten = static_cast<std::uint64_t>(end);
    return true;
}

bool FetchOutputFile::Adopt(int fd, const std::string& path) {
    struct stat status {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &status) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        m_nErrno = errno;
        ::close(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        m_nErrno = EINVAL;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_identity = IdentityOf(status);
    m_buffer.resize(kBufferSize);
    m_used = 0;
    m_nWritten = static_cast<std::uint64_t>(status.st_size);
    m_nUncheckedBytes = 0;
    m_bSpaceChecked = false;
    m_bFailed = false;
    return true;
}

bool FetchOutputFile::Truncate() {
    return TruncateTo(0);
}

bool FetchOutputFile::TruncateTo(std::uint64_t size) {
    if (m_fd < 0 || size > Size()) {
        return false;
    }
    if (size >= m_nWritten) {
        m_used = static_cast<std::size_t>(size - m_nWritten);  // only buffered bytes go
        // Pieces written at their offsets leave the file position anywhere.
        return ::lseek(m_fd, static_cast<off_t>(m_nWritten), SEEK_SET) >= 0;
    }
    m_used = 0;
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0 ||
        ::lseek(m_fd, static_cast<off_t>(size), SEEK_SET) < 0) {
        m_bFailed = true;
        NoteError();
        return false;
    }
    m_nWritten = size;
    return true;
}

bool FetchOutputFile::WriteAt(std::uint64_t offset, const char* data, std::size_t size) {
    if (m_fd < 0 || m_bFailed || !Flush() || !ReserveSpace(size)) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (written <= 0) {
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written == 0) {
                errno = ENOSPC;
            }
            m_bFailed = true;
            NoteError();
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    m_nWritten = std::max(m_nWritten, offset);
    return true;
}

bool FetchOutputFile::ReserveSpace(std::size_t size) {
    if (!EnoughSpace(size)) {
        m_bFailed = true;
        NoteError();
        return false;
    }
    if (m_nExpected >= size) {
        m_nExpected -= size;
    }
    return true;
}

bool FetchOutputFile::EnoughSpace(std::size_t size) {
    m_nUncheckedBytes += size;
    if (m_bSpaceChecked && m_nUncheckedBytes < kSpaceCheckBytes) {
        return true;
    }
    m_bSpaceChecked = true;
    m_nUncheckedBytes = 0;
    struct statvfs space {};
    if (::fstatvfs(m_fd, &space) != 0) {
        return true;  // nothing known: the writes themselves will tell
    }
    const std::uint64_t available =
        static_cast<std::uint64_t>(space.f_bavail) * static_cast<std::uint64_t>(space.f_frsize);
    std::uint64_t needed = std::max<std::uint64_t>(size, kSpaceCheckBytes);
    if (m_nExpected != 0) {
        needed = std::max<std::uint64_t>(size, std::min(needed, m_nExpected));
    }
    if (available < needed) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

bool FetchOutputFile::Append(const char* data, std::size_t size) {
    if (m_fd < 0 || m_bFailed || !ReserveSpace(size)) {
        return false;
    }
    // Large pieces go straight to the file once the buffer is out of the way: copying
    // them first would only cost time.
    if (size >= kDirectWriteSize || m_used + size > m_buffer.size()) {
        if (!Flush()) {
            return false;
        }
        if (size >= kDirectWriteSize) {
            m_bFailed = !WriteAll(m_fd, data, size);
            NoteError();
            if (!m_bFailed) {
                m_nWritten += size;
            }
            return !m_bFailed;
        }
    }
    std::memcpy(m_buffer.data() + m_used, data, size);
    m_used += size;
    return true;
}

bool FetchOutputFile::Flush() {
    if (m_used > 0 && !m_bFailed) {
        m_bFailed = !WriteAll(m_fd, m_buffer.data(), m_used);
        NoteError();
        if (!m_bFailed) {
            m_nWritten += m_used;
        }
    }
    m_used = 0;
    return !m_bFailed;
}

bool FetchOutputFile::Finish() {
    if (m_fd < 0) {
        return false;
    }
    const bool flushed = Flush();
    const bool closed = ::close(m_fd) == 0;
    if (!closed && m_nErrno == 0) {
        m_nErrno = errno;
    }
    m_fd = -1;
    m_buffer = {};
    return flushed && closed;
}

void FetchOutputFile::NoteError() {
    if (m_bFailed && m_nErrno == 0) {
        m_nErrno = errno;
    }
}

void FetchOutputFile::Close() {
    if (m_fd >= 0) {
        // What was received stays in the part file for a later resume.
        Flush();
        ::close(m_fd);
        m_fd = -1;
    }
    m_buffer = {};
    m_used = 0;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
    // A file system without renameat2: link() never replaces either.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

bool RemoveOwnFile(const std::string& path, const FileIdentity& identity) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(status.st_mode) || !(IdentityOf(status) == identity)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

}  // namespace tamsel
