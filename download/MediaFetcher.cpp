#include "download/MediaFetcher.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/AsciiText.h"
#include "base/UrlParse.h"
#include "base/WipeText.h"
#include "download/DownloadLog.h"
#include "download/FetchOutputFile.h"
#include "download/FetchSession.h"
#include "download/FileNaming.h"

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

FetchResume MediaFetcher::Resume() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_resume;
}

std::string MediaFetcher::FileName() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_strCurrentName.empty() ? m_strFileName : m_strCurrentName;
}

std::string MediaFetcher::FailureText() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_strFailure;
}

void MediaFetcher::Join() {
    if (m_pThread.joinable() && m_pThread.get_id() != std::this_thread::get_id()) {
        m_pThread.join();
    }
}

void MediaFetcher::Finish(int code) {
    if (code < 0) {
        qCWarning(lcDownload) << "task" << m_nReportId << "download of"
                              << QString::fromStdString(m_strMediaUrl)
                              << "failed:" << QString::fromStdString(FailureText())
                              << QString::fromStdString(m_strFailureDetail);
    } else {
        qCDebug(lcDownload) << "task" << m_nReportId << "download of"
                            << QString::fromStdString(m_strMediaUrl) << "ended with" << code;
    }
    Post(code);
    m_bThreadDone.store(true);
}

int MediaFetcher::Fail(int code, std::string text, std::string detail) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_strFailure = std::move(text);
    m_strFailureDetail = std::move(detail);
    return code;
}

namespace {

// The user's sentence for a file the folder would not take.
std::string CreateFailure(int error, const std::string& folder) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return "The folder " + folder + " cannot be written.";
        case ENOENT:
        case ENOTDIR:
            return "The folder " + folder + " does not exist.";
        case ENOSPC:
        case EDQUOT:
            return "The disk is full.";
        case ENAMETOOLONG:
            return "The file name is too long for the folder " + folder + ".";
        default:
            return "A file cannot be created in the folder " + folder + ": " +
                   std::strerror(error) + ".";
    }
}

}  // namespace

std::string MediaFetcher::WriteFailure(const FetchOutputFile& file) const {
    const int error = file.Error();
    if (error == ENOSPC || error == EDQUOT) {
        return "The disk is full.";
    }
    if (error == EFBIG) {
        return "The file is too large for the disk.";
    }
    return "The file " + m_strPath +
           " cannot be written: " + (error != 0 ? std::strerror(error) : "unknown error") + ".";
}

void MediaFetcher::Download() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nReportId = m_nTaskId;
        m_dwReceived = 0;
        m_strFailure.clear();
        m_strCurrentName.clear();
    }
    // Everything a run counts starts afresh, should a fetcher ever be run twice.
    m_bThreadDone.store(false);
    m_dwReceivedRelaxed.store(0);
    m_dwLength.store(0);
    m_bLengthPosted = false;
    m_bWriteFailed = false;
    m_bPieces = m_bPiecesTried = m_bCredentialsSent = false;
    m_bStreamAnswer = false;
    m_bUnreportedData = false;
    m_strFailureDetail.clear();
    ParsedUrl parsed;
    if (!ParseUrl(m_strMediaUrl, parsed)) {
        m_strMediaUrl = "http://" + m_strMediaUrl;
        if (!ParseUrl(m_strMediaUrl, parsed)) {
            m_bStop.store(1);
            Finish(Fail(FETCH_BAD_URL, "The video address is not an http or https address."));
            return;
        }
    }
    m_strFolder = TrimBlanks(m_strFolder);
    if (m_strFolder.empty() || m_strFolder.back() != '/') {
        m_strFolder += '/';
    }

    // Stream hook: a playlist, known by its address or its answer's type, is
    // downloaded as the video it lists.
    if (m_bStream || IsStreamAddress(m_strMediaUrl)) {
        Finish(DownloadStream(nullptr, {}));
        return;
    }
    int code = FETCH_FILE_ERROR;
    {
        FetchOutputFile file;
        if (OpenPartFile(file)) {
            code = Transfer(file);
            file.Close();
            const bool empty = file.Size() == 0;
            if (m_bStreamAnswer) {
                std::lock_guard<std::mutex> guard(m_lock);
                RemoveOwnFile(m_resume.strPartPath, m_resume.identity);
                m_resume = {};
            } else if (code == FETCH_DONE) {
                std::string contentType;
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    contentType = m_resume.strContentType;
                }
                if (!MoveIntoFinalName(contentType)) {
                    m_bStop.store(1);
                    code = FETCH_FILE_ERROR;
                }
            } else if (empty) {
                // Nothing worth resuming: the empty part file goes (it is ours).
                std::lock_guard<std::mutex> guard(m_lock);
                RemoveOwnFile(m_resume.strPartPath, m_resume.identity);
                m_resume = {};
            }
        }
    }
    if (m_bStreamAnswer && code == FETCH_DONE) {
        // The playlist is in hand: it is read, not fetched again.
        code = DownloadStream(&m_strStreamText, m_strStreamUrl);
    }
    m_strStreamText.clear();
    Finish(code);
}

bool MediaFetcher::OpenPartFile(FetchOutputFile& file) {
    FetchResume resume = Resume();
    if (resume.IsSet() && resume.strMediaUrl == m_strMediaUrl &&
        file.Reopen(resume.strPartPath, resume.identity)) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_strCurrentName = resume.strFileName;
        m_strPath = resume.strPartPath;
        return true;
    }
    {
        // A part file that is gone or is no longer ours is left as it is.
        std::lock_guard<std::mutex> guard(m_lock);
        m_resume = {};
    }
    return CreatePartFile(file);
}

bool MediaFetcher::CreatePartFile(FetchOutputFile& file, const std::string& container) {
    std::string name = TrimBlanks(m_strFileName);
    if (!container.empty()) {
        name = WithContainerExtension(name, container);
    } else if (m_bExtensionFromMedia) {
        name = WithMediaExtension(name, ExtensionFromAddress(m_strMediaUrl));
    }
    // Whatever holds the name or its part file's name (a file, a link, a FIFO, another
    // task's part file) stays untouched: the next "[n]" name is tried instead.
    constexpr int kMaxTries = 1000;
    int error = EEXIST;
    for (int n = 1; n <= kMaxTries && error == EEXIST; ++n) {
        const std::string candidate = NumberedName(name, n);
        struct stat status {};
        if (::lstat((m_strFolder + candidate).c_str(), &status) == 0) {
            continue;
        }
        const std::string partPath = m_strFolder + PartNameFor(candidate);
        if (file.Create(partPath)) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_strCurrentName = candidate;
            m_strPath = partPath;
            m_resume = {};
            m_resume.strMediaUrl = m_strMediaUrl;
            m_resume.strPartPath = partPath;
            m_resume.strFileName = candidate;
            m_resume.identity = file.Identity();
            return true;
        }
        error = file.Error();
    }
    Fail(FETCH_FILE_ERROR, CreateFailure(error, m_strFolder),
         std::string("cannot create a part file for ") + name + ": " + std::strerror(error));
    return false;
}

bool MediaFetcher::MoveIntoFinalName(const std::string& contentType) {
    FetchResume resume = Resume();
    std::string name = resume.strFileName;
    if (m_bExtensionFromMedia && ExtensionFromAddress(m_strMediaUrl).empty()) {
        name = WithMediaExtension(name, ExtensionFromContentType(contentType));
    }
    // Never replaces anything: a name taken meanwhile gives way to the next free one.
    constexpr int kMaxTries = 1000;
    int error = EEXIST;
    for (int n = 1; n <= kMaxTries && error == EEXIST; ++n) {
        const std::string candidate = NumberedName(name, n);
        if (MoveIntoPlace(resume.strPartPath, m_strFolder + candidate)) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_strCurrentName = candidate;
            m_resume = {};
            return true;
        }
        error = errno;
    }
    Fail(FETCH_FILE_ERROR,
         "The finished file could not be given its name in the folder " + m_strFolder + ".",
         std::strerror(error));
    return false;
}

int MediaFetcher::Transfer(FetchOutputFile& file) {
    FetchSession session;
    if (!session.Open()) {
        return Fail(FETCH_SESSION_ERROR, "The download could not be set up.",
                    "curl could not create a transfer");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }
    if (!session.SetConnectOptions(m_connectTimeout, m_idleTimeout, m_floor)) {
        return Fail(FETCH_CONNECT_ERROR, "The download could not be set up.",
                    "curl refused the connection settings");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }
    // Bytes kept from an earlier run are asked for no more, if the server can prove the
    // resource is still the same; without such proof the part file starts over.
    // A part file fetched in pieces continues from its first hole.
    const FetchResume earlier = Resume();
    const std::string& validator = earlier.strValidator;
    std::uint64_t offset = file.Size();
    std::uint64_t kept = offset;
    if (!earlier.doneRanges.empty()) {
        offset = earlier.doneRanges.front().first == 0 ? earlier.doneRanges.front().end : 0;
        kept = CoveredBytes(earlier.doneRanges);
    }
    if (kept > 0 && validator.empty()) {
        if (!file.Truncate()) {
            m_bStop.store(1);
            return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
        }
        offset = kept = 0;
        std::lock_guard<std::mutex> guard(m_lock);
        m_resume.doneRanges.clear();
    }
    SetReceived(kept);
    m_dwStartOffset.store(kept);
    auto onLength = [this, &file, &session, &offset, &earlier](std::uint64_t length) {
        if (IsStreamContentType(session.ContentType())) {
            // A playlist: its text is kept for the stream road, the part file removed.
            m_bStreamAnswer = true;
            m_strStreamText.clear();
            m_strStreamUrl = session.FinalUrl();
            return;
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_resume.strValidator = session.Validator();
            m_resume.strContentType = session.ContentType();
            // Pieces kept from before are only ours to continue while this answer
            // proves the same resource.
            if (!m_resume.doneRanges.empty() &&
                (session.Validator() != earlier.strValidator || length != earlier.nLength)) {
                m_resume.doneRanges.clear();
                offset = 0;
            }
        }
        m_bPieces = WantsPieces(session, length);
        if (!m_bPieces && file.Size() > offset) {
            // One connection appends from the first hole on.
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_resume.doneRanges.clear();
            }
            m_bWriteFailed = !file.TruncateTo(offset);
            SetReceived(offset);
        }
        m_dwLength.store(length);
        if (length > file.Size()) {
            file.ExpectRemaining(length - file.Size());
        }
        if (length != 0 && !m_bLengthPosted) {
            m_bLengthPosted = true;
            Post(FETCH_LENGTH);
        }
        m_dwStartTick.store(GetTickCount());
    };
    auto onBody = [this, &file](const char* data, std::size_t size) {
        if (m_bStreamAnswer) {
            return KeepStreamText(data, size);
        }
        return !m_bPieces && !m_bWriteFailed && AcceptBody(file, data, size);
    };
    if (!session.SetRequestOptions(m_strMediaUrl, onLength, onBody) ||
        !session.SetResume(offset, validator)) {
        return Fail(FETCH_REQUEST_ERROR, "The download could not be set up.",
                    "curl refused the request settings");
    }
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }

    // Refusals after the user's answer, for the server [0] and the proxy [1].
    constexpr int kMaxRefusals = 3;
    bool sentCredentials[2] = {false, false};
    int refusals[2] = {0, 0};
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
                    return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
                }
                return m_bStop.load() != 0 ? FETCH_STOPPED : FETCH_DONE;
            case FetchOutcome::RangeIgnored:
                // The resource changed or the server cannot send a part: start over in
                // our own part file, never splicing old bytes to new ones.
                qCDebug(lcDownload) << "task" << m_nReportId << "restarts from 0";
                if (!file.Truncate()) {
                    m_bStop.store(1);
                    return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
                }
                offset = 0;
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    m_resume.doneRanges.clear();
                }
                SetReceived(0);
                m_dwStartOffset.store(0);
                if (!session.SetResume(0, {})) {
                    return Fail(FETCH_REQUEST_ERROR, "The download could not be set up.",
                                "curl refused the request settings");
                }
                break;
            case FetchOutcome::NeedCredentials:
            case FetchOutcome::NeedProxyCredentials: {
                const bool proxy = outcome == FetchOutcome::NeedProxyCredentials;
                if (m_pView == nullptr) {
                    return Fail(FETCH_BAD_STATUS, session.UserFailureReason(Received()),
                                session.FailureReason());
                }
                if (sentCredentials[proxy] && ++refusals[proxy] >= kMaxRefusals) {
                    return Fail(FETCH_BAD_STATUS,
                                std::string(proxy ? "The proxy" : "The server") +
                                    " refused the user name and password three times.",
                                session.FailureReason());
                }
                // The password goes to the address that asked, wherever a redirect led,
                // and from there curl carries it to no other host.
                const std::string asking = proxy ? m_strMediaUrl : session.AnsweringUrl();
                if (!proxy && (asking.empty() || !session.Retarget(asking))) {
                    return Fail(FETCH_REQUEST_ERROR, "The download could not be set up.",
                                "curl refused the address that asked for credentials");
                }
                auto request = std::make_shared<CredentialsRequest>(m_nReportId, asking, proxy,
                                                                    session.AuthRealm(proxy));
                m_pView->RequestCredentials(request);
                std::string user, password;
                if (!request->Wait(m_bStop, user, password)) {
                    // Cancelled: the server's refusal stands, and no empty file is left.
                    return m_bStop.load() != 0 ? FETCH_STOPPED
                                               : Fail(FETCH_BAD_STATUS,
                                                      "The password prompt was cancelled; " +
                                                          session.UserFailureReason(Received()),
                                                      session.FailureReason());
                }
                m_bCredentialsSent = true;
                const bool set = session.SetCredentials(proxy, user, password);
                WipeText(password);  // curl keeps its own copy for this session only
                sentCredentials[proxy] = true;
                if (!set) {
                    return Fail(FETCH_REQUEST_ERROR, "The download could not be set up.",
                                "curl refused the credentials");
                }
                if (m_bStop.load() != 0) {
                    return FETCH_STOPPED;
                }
                break;  // send the same request again, now with the credentials
            }
            case FetchOutcome::Stopped:
                return FETCH_STOPPED;
            case FetchOutcome::BodyRejected:
                if (m_bPieces && !m_bWriteFailed) {
                    if (const int code = TransferInPieces(file, Length(), offset); code != 0) {
                        return code;
                    }
                    if (!session.SetResume(offset, Resume().strValidator)) {
                        return Fail(FETCH_REQUEST_ERROR, "The download could not be set up.",
                                    "curl refused the request settings");
                    }
                    break;
                }
                if (m_bWriteFailed) {
                    m_bStop.store(1);
                    return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
                }
                return FETCH_STOPPED;
            case FetchOutcome::BadStatus:
                return Fail(FETCH_BAD_STATUS, session.UserFailureReason(Received()),
                            session.FailureReason());
            case FetchOutcome::StatusError:
                return Fail(FETCH_STATUS_ERROR, session.UserFailureReason(Received()),
                            session.FailureReason());
            case FetchOutcome::ConnectError:
                return Fail(FETCH_CONNECT_ERROR, session.UserFailureReason(Received()),
                            session.FailureReason());
            case FetchOutcome::SendError:
                return Fail(FETCH_SEND_ERROR, session.UserFailureReason(Received()),
                            session.FailureReason());
            case FetchOutcome::TransferError:
                return Fail(FETCH_TRANSFER_ERROR, session.UserFailureReason(Received()),
                            session.FailureReason());
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
        CountReceived(accepted);
    }
    return accepted == size;
}

void MediaFetcher::CountReceived(std::size_t bytes) {
    std::uint64_t received;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dwReceived += bytes;
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

void MediaFetcher::SetReceived(std::uint64_t received) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_dwReceived = received;
    }
    m_dwReceivedRelaxed.store(received);
}

}  // namespace tamsel
