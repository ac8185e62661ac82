#pragma once
// Downloads one media file over HTTP into one file, on a worker thread of its own,
// and reports what happens through a FetchReportSink.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/FetchCodes.h"
#include "download/FetchFloor.h"
#include "download/FetchOutputFile.h"
#include "download/SegmentPlan.h"

namespace tamsel {

class FetchSession;

// What a stopped or failed run leaves for the next one: the part file this run created
// and what the server said about the resource, so a Start continues where it ended.
struct FetchResume {
    std::string strMediaUrl;   // the address the part file holds bytes of
    std::string strPartPath;   // folder + PartNameFor(strFileName)
    std::string strFileName;   // the name the file gets when complete
    FileIdentity identity;     // the part file as created; anything else is not ours
    std::string strValidator;  // ETag or Last-Modified of the answer that began it
    std::string strContentType;
    // After a run in pieces: the ranges the part file holds of a resource of nLength
    // bytes, with holes between them. Empty: the part file holds its bytes from 0 on.
    std::vector<ByteRange> doneRanges;
    std::uint64_t nLength = 0;
    bool IsSet() const { return identity.IsSet() && !strPartPath.empty(); }
};

// A worker's question for user name and password (401 or 407). The user-interface
// thread answers it exactly once; the worker waits without blocking that thread and
// gives up waiting when it is asked to stop. The password is wiped once handed over.
class CredentialsRequest {
public:
    // `url` is the address that asked (after any redirects), `realm` the name the
    // server gave its protected area (as sent; may be empty or hostile).
    CredentialsRequest(int reportId, std::string url, bool proxy, std::string realm = {});
    ~CredentialsRequest();
    CredentialsRequest(const CredentialsRequest&) = delete;
    CredentialsRequest& operator=(const CredentialsRequest&) = delete;
    int ReportId() const { return m_nReportId; }
    const std::string& Url() const { return m_strUrl; }
    bool IsProxy() const { return m_bProxy; }
    const std::string& Realm() const { return m_strRealm; }
    // The host the password would go to; empty for a proxy's question.
    std::string Host() const;
    // True when the password would travel unencrypted (a server over http://).
    bool IsPlainHttp() const;

    // Thread-safe; only the first answer counts.
    void Answer(bool ok, const std::string& user, const std::string& password);
    // Waits for the answer until `stop` becomes nonzero. Returns true only on OK,
    // with user and password filled.
    bool Wait(const std::atomic<int>& stop, std::string& user, std::string& password);

private:
    const int m_nReportId;
    const std::string m_strUrl;
    const bool m_bProxy;
    const std::string m_strRealm;
    std::mutex m_lock;
    std::condition_variable m_answered;
    bool m_bAnswered = false;
    bool m_bOk = false;
    std::string m_strUser;
    std::string m_strPassword;
};

// Where a fetcher's reports go. Both calls are thread-safe and return at once.
class FetchReportSink {
public:
    virtual ~FetchReportSink() = default;
    virtual void PostFetchProgress(int code, int reportId, std::uint64_t fetcherSerial) = 0;
    virtual void RequestCredentials(std::shared_ptr<CredentialsRequest> request) = 0;
};

class MediaFetcher {
public:
    MediaFetcher();
    // Requests a stop and waits for the worker thread, if one runs.
    virtual ~MediaFetcher();
    MediaFetcher(const MediaFetcher&) = delete;
    MediaFetcher& operator=(const MediaFetcher&) = delete;

    void SetView(FetchReportSink* view);
    void SetTask(const std::string& folder, const std::string& mediaUrl,
                 const std::string& fileName, int taskId, int stop);
    // A name of the program's own making ends in ".flv" until the media says otherwise:
    // then the address's or the answer's container replaces it. Default: true.
    void SetExtensionFromMedia(bool fromMedia) { m_bExtensionFromMedia = fromMedia; }
    // The address is a stream's playlist (HLS or DASH) whatever its name or answer's type
    // say, as the service marked it. Default: false.
    void SetStream(bool stream) { m_bStream = stream; }
    // The part file of an earlier run of the same task, to continue. Set before Start.
    void SetResume(const FetchResume& resume) { m_resume = resume; }
    // The part file this run leaves (nothing once it completed or left no bytes). Read
    // once the worker has ended.
    FetchResume Resume() const;
    // The name the file has or will have, which may differ from the one asked for: the
    // media's extension, or "[n]" when the name was taken on disk. Thread-safe.
    std::string FileName() const;
    // Why the run failed, in one sentence for the user; "" when it did not fail.
    std::string FailureText() const;
    // Waits for the worker thread, if one was started.
    void Join();
    int IsStopped() const { return m_bStop.load(); }
    void RequestStop() { m_bStop.store(1); }
    void Download();
    static int FetchThreadProc(MediaFetcher* fetcher);

    // Starts the worker thread (m_pThread) running FetchThreadProc; false when it
    // cannot be started.
    bool Start();
    // True once the worker has posted its terminal report and no longer touches the object.
    bool IsThreadFinished() const { return m_bThreadDone.load(); }
    // Identity of this fetcher among all fetchers of the process; travels with every report.
    std::uint64_t Serial() const { return m_nSerial; }
    // The view calls this when it handles a FETCH_DATA, so a later block may post another.
    // Blocks post FETCH_DATA at most every 20 ms; the last block of a run is always
    // reported before FETCH_DONE.
    void DataReportHandled() { m_bDataPending.store(false); }
    // True for an address the fetcher downloads as a stream (HLS or DASH).
    static bool IsStreamAddress(const std::string& url);
    // True for the Content-Type of an answer that is such a playlist.
    static bool IsStreamContentType(const std::string& contentType);

    // How long a connection may take (30 s) and how long an open connection may stay
    // silent (60 s, in whole seconds, as curl's low-speed check counts) before the run
    // fails. Set before Start.
    void SetTimeouts(std::chrono::milliseconds connectTimeout,
                     std::chrono::milliseconds idleTimeout);
    // The answer's head within 30 s, then at least 1 KiB/s over the idle time; set
    // before Start.
    void SetFloor(const FetchFloor& floor) { m_floor = floor; }
    // How many connections one file may use where the server serves byte ranges (8);
    // 1 fetches every file over one connection. Set before Start.
    void SetMaxConnections(int connections) { m_nMaxConnections = std::max(1, connections); }

    // Read by the view.
    int ReportId() const;
    std::uint64_t Length() const { return m_dwLength.load(); }
    std::uint64_t Received() const;
    std::uint64_t ReceivedUnlocked() const { return m_dwReceivedRelaxed.load(); }
    std::uint32_t StartTick() const { return m_dwStartTick.load(); }
    // What the part file held when this run began.
    std::uint64_t StartOffset() const { return m_dwStartOffset.load(); }

    // Members, in the order of their description. Counts are 64-bit so files
    // beyond 4 GiB are counted right.
    std::atomic<int> m_bStop{0};
    int m_nTaskId = 0;
    std::string m_strMediaUrl;  // the worker puts "http://" in front of an address without scheme
    std::string m_strFolder;
    std::string m_strFileName;
    std::thread m_pThread;
    int m_nReportId = 0;
    std::string m_strPath;
    std::atomic<std::uint64_t> m_dwLength{0};
    std::uint64_t m_dwReceived = 0;  // guarded by m_lock
    std::atomic<std::uint32_t> m_dwStartTick{0};
    std::atomic<std::uint64_t> m_dwStartOffset{0};
    mutable std::mutex m_lock;
    FetchReportSink* m_pView = nullptr;

private:
    bool OpenPartFile(FetchOutputFile& file);
    // `container` (".ts", ".mp4") replaces the name's extension; "" keeps the usual rule.
    bool CreatePartFile(FetchOutputFile& file, const std::string& container = {});
    bool MoveIntoFinalName(const std::string& contentType);
    int Transfer(FetchOutputFile& file);
    bool AcceptBody(FetchOutputFile& file, const char* data, std::size_t size);
    void CountReceived(std::size_t bytes);
    void SetReceived(std::uint64_t received);
    // Whether the first answer lets the file be fetched in pieces.
    bool WantsPieces(const FetchSession& session, std::uint64_t length) const;
    // Fetches the rest in pieces; FETCH_... when the run ends there, 0 when it goes on
    // over one connection from `offset`.
    int TransferInPieces(FetchOutputFile& file, std::uint64_t length, std::uint64_t& offset);
    void Post(int code);
    void PostData(std::chrono::steady_clock::time_point now);
    void Finish(int code);
    // Every failure goes through here: `text` is the user's sentence, `detail` adds
    // technical words for the log.
    int Fail(int code, std::string text, std::string detail = {});
    std::string WriteFailure(const FetchOutputFile& file) const;
    // Streams (MediaFetcherStream.cpp): the whole run for a playlist address.
    // `text` is the playlist when its answer is in hand (from `textUrl`), else null.
    int DownloadStream(const std::string* text, const std::string& textUrl);
    bool KeepStreamText(const char* data, std::size_t size);
    void NoteWritten(std::uint64_t written);

    const std::uint64_t m_nSerial;
    std::chrono::milliseconds m_connectTimeout{std::chrono::seconds(30)};
    std::chrono::milliseconds m_idleTimeout{std::chrono::seconds(60)};
    FetchFloor m_floor;
    bool m_bLengthPosted = false;
    bool m_bWriteFailed = false;
    bool m_bStreamAnswer = false;    // the answer was a playlist: download it as a stream
    std::string m_strStreamText;     // that playlist, as it came
    std::string m_strStreamUrl;      // and the address it came from
    std::string m_strFailure;        // why the run failed, for the user; guarded by m_lock
    std::string m_strFailureDetail;  // and for the one log line at its end
    bool m_bExtensionFromMedia = true;
    int m_nMaxConnections = 8;
    bool m_bPieces = false;       // the first answer is to be fetched in pieces
    bool m_bPiecesTried = false;  // pieces ran once this run: no second time
    bool m_bCredentialsSent = false;
    bool m_bStream = false;
    FetchResume m_resume;            // guarded by m_lock
    std::string m_strCurrentName;    // guarded by m_lock
    bool m_bUnreportedData = false;  // blocks written since the last FETCH_DATA
    std::chrono::steady_clock::time_point m_lastDataReport;
    std::atomic<bool> m_bThreadDone{false};
    std::atomic<bool> m_bDataPending{false};
    std::atomic<std::uint64_t> m_dwReceivedRelaxed{0};
};

// Milliseconds from a monotonic clock, wrapping at 32 bits like a tick count.
std::uint32_t GetTickCount();

}  // namespace tamsel
