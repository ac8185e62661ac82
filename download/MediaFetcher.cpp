#include "download/MediaFetcher.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "base/AsciiText.h"
#include "base/UrlParse.h"
#include "download/DownloadLog.h"
#include "download/FetchOutputFile.h"
#include "download/FetchSession.h"

namespace tamsel {

namespace {

// The unit of stop checks and progress accounting.
constexpr std::size_t kBlockSize = 1024;
// A view that keeps up would otherwise be woken for every block, some hundred thousand
// times a second on a fast link, for a text nobody reads that often.
constexpr auto kDataReportInterval = std::chrono::milliseconds(20);

std::atomic<std::uint64_t> g_nNextSerial{1};

}  // namespace

std::uint32_t GetTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

MediaFetcher::MediaFetcher() : m_nSerial(g_nNextSerial.fetch_add(1)) {}

MediaFetcher::~MediaFetcher() {
    RequestStop();
    if (m_pThread.joinable()) {
        if (m_pThread.get_id() == std::this_thread::get_id()) {
            m_pThread.detach();
        } else {
            m_pThread.join();
        }
    }
}

void MediaFetcher::SetView(FetchReportSink* view) {
    if (view != nullptr) {
        m_pView = view;
    }
}

void MediaFetcher::SetTask(const std::string& folder, const std::string& mediaUrl,
                           const std::string& fileName, int taskId, int stop) {
    m_strFolder = folder;
    m_strMediaUrl = mediaUrl;
    m_strFileName = fileName;
    m_nTaskId = taskId;
    m_bStop.store(stop);
}

void MediaFetcher::SetTimeouts(std::chrono::milliseconds connectTimeout,
                               std::chrono::milliseconds idleTimeout) {
    m_connectTimeout = connectTimeout;
    m_idleTimeout = idleTimeout;
}

int MediaFetcher::ReportId() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nReportId;
}

std::uint64_t MediaFetcher::Received() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_dwReceived;
}

int MediaFetcher::FetchThreadProc(MediaFetcher* fetcher) {
    fetcher->Download();
    return 0;
}

bool MediaFetcher::Start() {
    if (m_pThread.joinable()) {
        return false;
    }
    try {
        m_pThread = std::thread(&MediaFetcher::FetchThreadProc, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void MediaFetcher::Post(int code) {
    if (m_pView != nullptr) {
        m_pView->PostFetchProgress(code, m_nReportId, m_nSerial);
    }
}

void MediaFetcher::PostData(std::chrono::steady_clock::time_point now) {
    m_bDataPending.store(true);
    m_bUnreportedData = false;
    m_lastDataReport = now;
    Post(FETCH_DATA);
}

void MediaFetcher::Finish(int code) {
    if (code < 0) {
        qCWarning(lcDownload) << "task" << m_nReportId << "download of"
                              << QString::fromStdString(m_strMediaUrl)
                              << "failed:" << QString::fromStdString(m_strFailure);
    } else {
        qCDebug(lcDownload) << "task" << m_nReportId << "download of"
                            << QString::fromStdString(m_strMediaUrl) << "ended with" << code;
    }
    Post(code);
    m_bThreadDone.store(true);
}

int MediaFetcher::Fail(int code, std::string reason) {
    m_strFailure = std::move(reason);
    return code;
}

std::string MediaFetcher::FileFailure(const char* what, const FetchOutputFile& file) const {
    return std::string(what) + " " + m_strPath + ": " +
           (file.Error() != 0 ? std::strerror(file.Error()) : "unknown error");
}

void MediaFetcher::Download() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nReportId = m_nTaskId;
        m_dwReceived = 0;
    }
    // Everything a run counts starts afresh, should a fetcher ever be run twice.
    m_bThreadDone.store(false);
    m_dwReceivedRelaxed.store(0);
    m_dwLength.store(0);
    m_bLengthPosted = false;
    m_bWriteFailed = false;
    m_bUnreportedData = false;
    m_strFailure.clear();
    ParsedUrl parsed;
    if (!ParseUrl(m_strMediaUrl, parsed)) {
        m_strMediaUrl = "http://" + m_strMediaUrl;
        if (!ParseUrl(m_strMediaUrl, parsed)) {
            m_bStop.store(1);
            Finish(Fail(FETCH_BAD_URL, "not an http or https address"));
            return;
        }
    }
    if (m_strFolder.empty() || m_strFolder.back() != '/') {
        m_strFolder += '/';
    }
    m_strPath = TrimBlanks(m_strFolder + m_strFileName);

    int code = FETCH_FILE_ERROR;
    {
        FetchOutputFile file;
        if (file.Open(m_strPath)) {
            code = Transfer(file);
            if (code != FETCH_DONE) {
                file.Discard();
            }
        } else {
            Fail(code, FileFailure("cannot open", file));
        }
    }
    Finish(code);
}

int MediaFetcher::Transfer(FetchOutputFile& file) {
    FetchSession session;
    if (!session.Open()) {
        return Fail(FETCH_SESSION_ERROR, "curl could not create a transfer");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }
    if (!session.SetConnectOptions(m_connectTimeout, m_idleTimeout, m_floor)) {
        return Fail(FETCH_CONNECT_ERROR, "curl refused the connection settings");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }
    auto onLength = [this](std::uint64_t length) {
        m_dwLength.store(length);
        if (length != 0 && !m_bLengthPosted) {
            m_bLengthPosted = true;
            Post(FETCH_LENGTH);
        }
        m_dwStartTick.store(GetTickCount());
    };
    auto onBody = [this, &file](const char* data, std::size_t size) {
        return AcceptBody(file, data, size);
    };
    if (!session.SetRequestOptions(m_strMediaUrl, onLength, onBody)) {
        return Fail(FETCH_REQUEST_ERROR, "curl refused the request settings");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }

    for (;;) {
        const FetchOutcome outcome = session.Perform(m_bStop);
        switch (outcome) {
            case FetchOutcome::Complete:
                // The last blocks must reach the view's progress text. A report still
                // waiting will read the final count when it is handled.
                if (m_bUnreportedData && !m_bDataPending.load()) {
                    PostData(std::chrono::steady_clock::now());
                }
                if (!file.Finish()) {
                    m_bStop.store(1);
                    return Fail(FETCH_TRANSFER_ERROR, FileFailure("cannot write", file));
                }
                return m_bStop.load() != 0 ? FETCH_STOPPED : FETCH_DONE;
            case FetchOutcome::NeedCredentials:
            case FetchOutcome::NeedProxyCredentials: {
                const bool proxy = outcome == FetchOutcome::NeedProxyCredentials;
                if (m_pView == nullptr) {
                    return Fail(FETCH_BAD_STATUS, session.FailureReason());
                }
                auto request =
                    std::make_shared<CredentialsRequest>(m_nReportId, m_strMediaUrl, proxy);
                m_pView->RequestCredentials(request);
                std::string user, password;
                if (!request->Wait(m_bStop, user, password)) {
                    // Cancelled: the server's refusal stands, and no empty file is left.
                    return m_bStop.load() != 0 ? FETCH_STOPPED
                                               : Fail(FETCH_BAD_STATUS, session.FailureReason());
                }
                if (!session.SetCredentials(proxy, user, password)) {
                    return Fail(FETCH_REQUEST_ERROR, "curl refused the credentials");
                }
                if (m_bStop.load() != 0) {
                    return FETCH_STOPPED;
                }
                break;  // send the same request again, now with the credentials
            }
            case FetchOutcome::Stopped:
                return FETCH_STOPPED;
            case FetchOutcome::BodyRejected:
                if (m_bWriteFailed) {
                    m_bStop.store(1);
                    return Fail(FETCH_TRANSFER_ERROR, FileFailure("cannot write", file));
                }
                return FETCH_STOPPED;
            case FetchOutcome::BadStatus:
                return Fail(FETCH_BAD_STATUS, session.FailureReason());
            case FetchOutcome::StatusError:
                return Fail(FETCH_STATUS_ERROR, session.FailureReason());
            case FetchOutcome::ConnectError:
                return Fail(FETCH_CONNECT_ERROR, session.FailureReason());
            case FetchOutcome::SendError:
                return Fail(FETCH_SEND_ERROR, session.FailureReason());
            case FetchOutcome::TransferError:
                return Fail(FETCH_TRANSFER_ERROR, session.FailureReason());
        }
    }
}

bool MediaFetcher::AcceptBody(FetchOutputFile& file, const char* data, std::size_t size) {
    // Every block is checked against the stop flag before it is written; the blocks
    // that pass go to the file in one piece, saving a copy per block.
    std::size_t accepted = 0;
    while (accepted < size && m_bStop.load(std::memory_order_relaxed) == 0) {
        accepted += std::min(kBlockSize, size - accepted);
    }
    if (accepted > 0 && !file.Append(data, accepted)) {
        m_bWriteFailed = true;
        return false;
    }
    // The blocks of one piece are counted together: nobody can look between them.
    if (accepted > 0) {
        std::uint64_t received;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_dwReceived += accepted;
            received = m_dwReceived;
        }
        m_dwReceivedRelaxed.store(received, std::memory_order_relaxed);
        m_bUnreportedData = true;
        // Only this thread raises the flag and only the view lowers it, so reading and
        // then raising it loses nothing.
        if (!m_bDataPending.load()) {
            const auto now = std::chrono::steady_clock::now();
            if (now - m_lastDataReport >= kDataReportInterval) {
                PostData(now);
            }
        }
    }
    return accepted == size;
}

}  // namespace tamsel
