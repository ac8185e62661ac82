#include "download/StreamOutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tamsel {

StreamOutputFile::~StreamOutputFile() {
    if (!m_bKept) {
        Discard();
    }
}

bool StreamOutputFile::Note(bool ok) {
    if (!ok && m_nErrno == 0) {
        m_nErrno = errno != 0 ? errno : EIO;
    }
    return ok;
}

bool StreamOutputFile::Create(const std::string& path) {
    Discard();
    m_nErrno = 0;
    m_bKept = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (!Note(fd >= 0)) {
        return false;
    }
    m_fd = fd;
    m_strPath = path;
    m_nSize = 0;
    return true;
}

bool StreamOutputFile::Append(const char* data, std::size_t size) {
    if (m_fd < 0 || m_nErrno != 0) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = ENOSPC;
            }
            return Note(false);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        m_nSize += static_cast<std::uint64_t>(written);
    }
    return true;
}

bool StreamOutputFile::TruncateTo(std::uint64_t size) {
    if (m_fd < 0 || m_nErrno != 0 || size > m_nSize) {
        return false;
    }
    if (!Note(::ftruncate(m_fd, static_cast<off_t>(size)) == 0 &&
              ::lseek(m_fd, static_cast<off_t>(size), SEEK_SET) >= 0)) {
        return false;
    }
    m_nSize = size;
    return true;
}

bool StreamOutputFile::Finish() {
    if (m_fd < 0 || m_nErrno != 0) {
        return false;
    }
    const bool closed = Note(::close(m_fd) == 0);
    m_fd = -1;
    m_bKept = closed;
    return closed;
}

void StreamOutputFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // Only a file this object made is removed; Create never took an existing one.
    if (!m_strPath.empty() && !m_bKept) {
        ::unlink(m_strPath.c_str());
    }
    m_strPath.clear();
}

}  // namespace tamsel
