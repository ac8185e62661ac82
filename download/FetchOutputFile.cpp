#include "download/FetchOutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

FetchOutputFile::~FetchOutputFile() {
    Close();
}

bool FetchOutputFile::Open(const std::string& path) {
    Close();
    // Open without truncating first: an existing file is emptied only once we know
    // no other fetcher is writing it.
    m_nErrno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_nErrno = errno;
        return false;
    }
    // Only a regular file has a length to cut; a device takes writes as they come.
    struct stat status {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &status) != 0 ||
        (S_ISREG(status.st_mode) && ::ftruncate(fd, 0) != 0)) {
        m_nErrno = errno;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_buffer.resize(kBufferSize);
    m_used = 0;
    m_bFailed = false;
    return true;
}

bool FetchOutputFile::Append(const char* data, std::size_t size) {
    if (m_fd < 0 || m_bFailed) {
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

void FetchOutputFile::Discard() {
    // Unlink while still holding the lock, so a fetcher waiting for this path never
    // loses its fresh file to our clean-up.
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
    Close();
}

void FetchOutputFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_buffer = {};
    m_used = 0;
}

}  // namespace tamsel
