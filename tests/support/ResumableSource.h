#pragma once
// One media resource served over HTTP with a strong ETag and byte ranges (If-Range
// honoured, as a careful server does), generated on the fly so it may be large. It
// counts the body bytes it sends, and can hold or drop a response part way, so tests
// and benchmarks can stop, break and resume downloads at a known place.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "tests/support/RawTcpServer.h"

namespace testsupport {

class ResumableSource {
public:
    ResumableSource(std::uint64_t size, unsigned version);
    bool Start() { return m_server.Start(); }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    int Port() const { return m_server.Port(); }

    // The bytes of version `version` of a resource of `size` bytes.
    static std::string Bytes(std::uint64_t size, unsigned version, std::uint64_t from = 0,
                             std::uint64_t count = UINT64_MAX);
    // From now on the resource is another one (another ETag).
    void ChangeTo(unsigned version);
    // Answers stop sending once the resource's byte `offset` is reached: they wait for
    // Release (or the end), or, with `drop`, close the connection there. Once only.
    void HoldAt(std::uint64_t offset, bool drop = false);
    void Release();
    // Whether ETag (and so resuming) is offered at all.
    void OfferValidator(bool offer) { m_bValidator.store(offer); }
    // Still says Accept-Ranges, but answers every request with the whole resource.
    void IgnoreRanges(bool ignore) { m_bIgnoreRanges.store(ignore); }
    // A careless server: sends the asked range even when If-Range names another version.
    void HonourIfRange(bool honour) { m_bHonourIfRange.store(honour); }
    // Becomes version `version` as the `request`-th request arrives (1 is the first).
    void ChangeAtRequest(int request, unsigned version);
    // Answers `status` to requests arriving while `connections` answers are under way.
    void RefuseBeyond(int connections, int status = 503);
    // Answers `status` to the `first`-th up to the `last`-th request (1 is the first).
    void RefuseRequests(int first, int last, int status) {
        m_nRefuseStatus.store(status);
        m_nRefuseLast.store(last);
        m_nRefuseFirst.store(first);
    }
    // Answers `status` to every request that asks for a range; 0: none.
    void RefuseRanged(int status) { m_nRefuseRanged.store(status); }
    // Sends at most this many body bytes a second on each connection; 0: no limit.
    void PaceEachConnection(std::uint64_t bytesPerSecond) { m_nPace.store(bytesPerSecond); }
    // The most answers that were under way at once.
    int PeakConnections() const { return m_nPeak.load(); }

    std::uint64_t BodyBytesSent() const { return m_nSent.load(); }
    int Requests() const { return m_nRequests.load(); }
    int PartialAnswers() const { return m_nPartial.load(); }

private:
    void Serve(int socket, const std::atomic<bool>& stopping);
    bool WaitAtHold(std::uint64_t offset, const std::atomic<bool>& stopping, bool& drop);

    const std::uint64_t m_nSize;
    std::atomic<unsigned> m_nVersion;
    std::atomic<bool> m_bValidator{true};
    std::atomic<bool> m_bIgnoreRanges{false};
    std::atomic<bool> m_bHonourIfRange{true};
    std::atomic<int> m_nChangeAt{0};
    std::atomic<unsigned> m_nChangeTo{0};
    std::atomic<int> m_nRefuseBeyond{0};
    std::atomic<int> m_nRefuseStatus{503};
    std::atomic<int> m_nRefuseRanged{0};
    std::atomic<int> m_nRefuseFirst{0};
    std::atomic<int> m_nRefuseLast{0};
    std::atomic<std::uint64_t> m_nPace{0};
    std::atomic<int> m_nActive{0};
    std::atomic<int> m_nPeak{0};
    std::atomic<std::uint64_t> m_nSent{0};
    std::atomic<int> m_nRequests{0};
    std::atomic<int> m_nPartial{0};
    std::mutex m_lock;
    std::condition_variable m_released;
    bool m_bHolding = false;
    bool m_bDrop = false;
    std::uint64_t m_nHoldAt = 0;
    RawTcpServer m_server;  // last: its threads use the members above
};

}  // namespace testsupport
