// The fetcher's road for streams: a playlist address is downloaded as the video it
// lists, reported through the same protocol as a single file.

#include "base/AsciiText.h"
#include "download/DashManifest.h"
#include "download/DownloadLog.h"
#include "download/HlsPlaylist.h"
#include "download/MediaFetcher.h"
#include "download/StreamDownload.h"

namespace tamsel {

namespace {

// `path` without the extension of its last component; the stream decides its own.
std::string PathStem(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return path;
    }
    return path.substr(0, dot);
}

}  // namespace

bool MediaFetcher::IsStreamAddress(const std::string& url) {
    return IsHlsAddress(url) || IsDashAddress(url);
}

bool MediaFetcher::IsStreamContentType(const std::string& contentType) {
    return IsHlsContentType(contentType) ||
           AsciiLower(TrimBlanks(contentType.substr(0, contentType.find(';')))) ==
               "application/dash+xml";
}

int MediaFetcher::DownloadStream() {
    StreamReportHandlers handlers;
    handlers.onLength = [this](std::uint64_t length, bool announced) {
        m_dwLength.store(length);
        if (announced && !m_bLengthPosted) {
            m_bLengthPosted = true;
            Post(FETCH_LENGTH);
        }
    };
    handlers.onWritten = [this](std::uint64_t written) { NoteWritten(written); };
    StreamDownload stream(m_bStop, std::move(handlers));
    stream.SetTimeouts(m_connectTimeout, m_idleTimeout);
    m_dwStartTick.store(GetTickCount());
    const int code = stream.Run(m_strMediaUrl, PathStem(m_strPath));
    m_strPath = stream.Path();
    if (m_bUnreportedData && !m_bDataPending.load()) {
        PostData(std::chrono::steady_clock::now());
    }
    // An estimate was never announced: without FETCH_LENGTH the view takes the size
    // from the count once the run is done.
    if (!m_bLengthPosted) {
        m_dwLength.store(0);
    }
    return code < 0 ? Fail(code, stream.Failure()) : code;
}

void MediaFetcher::NoteWritten(std::uint64_t written) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dwReceived = written;
    }
    m_dwReceivedRelaxed.store(written, std::memory_order_relaxed);
    m_bUnreportedData = true;
    if (!m_bDataPending.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastDataReport >= std::chrono::milliseconds(20)) {
            PostData(now);
        }
    }
}

}  // namespace tamsel
