#pragma once
// Fetches the missing ranges of one resource over several connections on one curl
// multi handle, each connection writing its piece at its offset into the part file.
// Every answer must be the asked piece of the very resource the first answer named;
// on anything else the caller goes on with one connection from what is verified.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "download/FetchOutputFile.h"
#include "download/SegmentPlan.h"

namespace tamsel {

struct SegmentJob {
    std::string strUrl;
    std::string strServer;        // "scheme://host:port", the key of the per-server cap
    std::uint64_t nLength = 0;    // of the whole resource
    std::string strValidator;     // ETag or Last-Modified of the first answer
    std::vector<ByteRange> done;  // already in the file
    int nConnections = 8;         // at most, for this file
    int nServerCap = 8;           // at most, to this server across all downloads
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    std::chrono::milliseconds idleTimeout{std::chrono::seconds(60)};
};

enum class SegmentResult {
    Complete,     // every byte is in the file
    Stopped,      // the stop flag was seen
    WriteFailed,  // the file refused a write (its Error() tells why)
    Fallback,     // the server would not serve pieces as it should: go on with one connection
};

class CSegmentedTransfer {
public:
    // Told how many bytes reached the file, after each write.
    using DataHandler = std::function<void(std::size_t bytes)>;

    CSegmentedTransfer(SegmentJob job, FetchOutputFile& file, DataHandler onData);
    SegmentResult Run(const std::atomic<int>& stop);

    // Everything the file now holds of the resource.
    std::vector<ByteRange> Done() const;
    // Why the run fell back, for the log.
    const std::string& Detail() const { return m_strDetail; }
    // The most connections that ran at once.
    int PeakConnections() const { return m_nPeak; }

private:
    SegmentJob m_job;
    FetchOutputFile& m_file;
    DataHandler m_onData;
    CSegmentPlan m_plan;
    std::string m_strDetail;
    int m_nPeak = 0;
};

}  // namespace tamsel
