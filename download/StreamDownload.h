#pragma once
// Downloads an HLS stream (or a DASH one, see DashManifest.h) into one part file: reads the
// playlist (choosing the best variant of a master playlist), fetches the keys once per address,
// fetches the segments several at a time on one curl multi handle, decrypts AES-128 segments and
// writes everything in playlist order: MPEG-TS segments into a .ts file, fMP4 ones into an .mp4
// file with their initialisation section first. Runs on the calling thread; a stop flag ends it
// within 50 ms. The fetcher owns the file: its name, creation and removal.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tamsel {

class FetchOutputFile;

struct StreamReportHandlers {
    // The length of the whole file: `announced` when the playlist states every size,
    // otherwise an estimate from the segments written so far (called again as it improves).
    std::function<void(std::uint64_t length, bool announced)> onLength;
    // The bytes in the file so far; falls back when a segment is fetched again.
    std::function<void(std::uint64_t written)> onWritten;
};

class StreamDownload {
public:
    // Segments fetched at the same time.
    static constexpr int kConnections = 4;
    // Tries per segment before the run fails.
    static constexpr int kAttempts = 3;

    StreamDownload(const std::atomic<int>& stop, StreamReportHandlers handlers);
    ~StreamDownload();
    StreamDownload(const StreamDownload&) = delete;
    StreamDownload& operator=(const StreamDownload&) = delete;

    void SetTimeouts(std::chrono::milliseconds connectTimeout,
                     std::chrono::milliseconds idleTimeout);

    // Reads the playlist at `url` (or one already in hand, `text` from `url`): the
    // variant, keys and pieces, and the container they make. Returns 0 when the stream
    // can be written, else FETCH_STOPPED or a failure code with Failure() saying why.
    int Prepare(const std::string& url);
    int PrepareFrom(const std::string& text, const std::string& url);
    // ".ts" or ".mp4" (DASH: the manifest's container), once prepared.
    const std::string& Extension() const { return m_strExtension; }
    // Fetches the pieces into `file` in order. FETCH_DONE, FETCH_STOPPED or a failure
    // code; a failed write leaves Failure() empty and `file.Error()` set.
    int Write(FetchOutputFile& file);

    // Why it failed, for the user, and in technical words for the log.
    const std::string& Failure() const { return m_strFailure; }
    const std::string& FailureDetail() const { return m_strDetail; }

    struct Piece;

private:
    int PrepareDash(const std::string& text, const std::string& url);
    int Fail(int code, std::string text, std::string detail = {});

    const std::atomic<int>& m_bStop;
    StreamReportHandlers m_handlers;
    std::chrono::milliseconds m_connectTimeout{std::chrono::seconds(30)};
    std::chrono::milliseconds m_idleTimeout{std::chrono::seconds(60)};
    std::vector<Piece> m_pieces;
    std::map<std::string, std::string> m_keys;  // key bytes by address; pieces point here
    std::string m_strExtension = ".ts";
    bool m_bAnnounced = false;
    std::uint64_t m_nLength = 0;
    std::string m_strFailure;
    std::string m_strDetail;
};

// The reasons a stream is refused, as the user reads them.
inline constexpr const char* kLiveStreamRefusal = "This is a live stream.";
inline constexpr const char* kDrmStreamRefusal = "This stream is encrypted with DRM.";
inline constexpr const char* kSplitStreamRefusal =
    "This stream keeps its sound apart from its picture.";

}  // namespace tamsel
