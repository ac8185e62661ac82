#pragma once
// Downloads an HLS stream (or a DASH one, see DashManifest.h) into one file: reads the playlist
// (choosing the best variant of a master playlist), fetches the keys once per address, fetches the
// segments several at a time on one curl multi handle, decrypts AES-128 segments and writes
// everything in playlist order: MPEG-TS segments into a .ts file, fMP4 ones into an .mp4 file with
// their initialisation section first. Runs on the calling thread; a stop flag ends it
// within 50 ms, and nothing is left behind unless it completes.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tamsel {

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
    StreamDownload(const StreamDownload&) = delete;
    StreamDownload& operator=(const StreamDownload&) = delete;

    void SetTimeouts(std::chrono::milliseconds connectTimeout,
                     std::chrono::milliseconds idleTimeout);

    // Downloads the stream whose playlist is at `url` into `pathStem` plus ".ts" or
    // ".mp4". Returns FETCH_DONE, FETCH_STOPPED or a failure code (FetchCodes.h) with
    // Failure() saying why.
    int Run(const std::string& url, const std::string& pathStem);

    // The file written (or that would have been), once the playlist is read.
    const std::string& Path() const { return m_strPath; }
    const std::string& Failure() const { return m_strFailure; }

    struct Piece;

private:
    int RunDash(const std::string& text, const std::string& url, const std::string& pathStem);
    int WritePieces(const std::vector<Piece>& pieces, const std::string& path, bool announced,
                    std::uint64_t length);
    int Fail(int code, std::string reason);

    const std::atomic<int>& m_bStop;
    StreamReportHandlers m_handlers;
    std::chrono::milliseconds m_connectTimeout{std::chrono::seconds(30)};
    std::chrono::milliseconds m_idleTimeout{std::chrono::seconds(60)};
    std::string m_strPath;
    std::string m_strFailure;
};

// The reasons a stream is refused, as the user reads them.
inline constexpr const char* kLiveStreamRefusal = "This is a live stream.";
inline constexpr const char* kDrmStreamRefusal = "This stream is encrypted with DRM.";
inline constexpr const char* kSplitStreamRefusal =
    "This stream keeps its sound apart from its picture.";

}  // namespace tamsel
