// The fetcher's road for streams: a playlist is downloaded as the video it lists, into
// a part file of the fetcher's own under the same naming rules as a single file, and
// reported through the same protocol.

#include "base/MediaKind.h"
#include "download/DownloadLog.h"
#include "download/FetchOutputFile.h"
#include "download/HlsPlaylist.h"
#include "download/MediaFetcher.h"
#include "download/StreamDownload.h"

namespace tamsel {

bool MediaFetcher::IsStreamAddress(const std::string& url) {
    return IsStreamKind(KindFromAddress(url));
}

bool MediaFetcher::IsStreamContentType(const std::string& contentType) {
    return IsStreamKind(KindFromType(contentType));
}

bool MediaFetcher::KeepStreamText(const char* data, std::size_t size) {
    if (m_strStreamText.size() + size > kMaxPlaylistBytes) {
        return false;
    }
    m_strStreamText.append(data, size);
    return true;
}

int MediaFetcher::DownloadStream(const std::string* text, const std::string& textUrl) {
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
    int code = text != nullptr ? stream.PrepareFrom(*text, textUrl) : stream.Prepare(m_strMediaUrl);
    if (code != 0) {
        return code == FETCH_STOPPED ? code : Fail(code, stream.Failure(), stream.FailureDetail());
    }
    {
        FetchOutputFile file;
        if (!CreatePartFile(file, stream.Extension())) {
            return FETCH_FILE_ERROR;
        }
        code = stream.Write(file);
        file.Close();
        if (code < 0) {
            if (file.Error() != 0) {
                m_bStop.store(1);
                Fail(code, WriteFailure(file), stream.FailureDetail());
            } else {
                Fail(code, stream.Failure(), stream.FailureDetail());
            }
        }
    }
    if (m_bUnreportedData && !m_bDataPending.load()) {
        PostData(std::chrono::steady_clock::now());
    }
    // An estimate was never announced: without FETCH_LENGTH the view takes the size
    // from the count once the run is done.
    if (!m_bLengthPosted) {
        m_dwLength.store(0);
    }
    if (code == FETCH_DONE) {
        if (!MoveIntoFinalName({})) {
            m_bStop.store(1);
            code = FETCH_FILE_ERROR;
        }
        return code;
    }
    // Pieces are not yet resumed one by one: a stopped or failed stream leaves nothing.
    std::lock_guard<std::mutex> guard(m_lock);
    RemoveOwnFile(m_resume.strPartPath, m_resume.identity);
    m_resume = {};
    return code;
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
