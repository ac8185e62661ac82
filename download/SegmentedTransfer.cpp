#include "download/SegmentedTransfer.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "download/DownloadLog.h"
#include "download/FetchSession.h"
#include "download/ServerSlots.h"

namespace tamsel {

namespace {

// Pieces are never split below this: a new connection costs a round trip or two.
constexpr std::uint64_t kMinPiece = 256 * 1024;
// Failed pieces tolerated in one run before the rest goes over one connection.
constexpr int kMaxFailures = 8;
constexpr int kWakeMs = 50;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

struct Connection {
    FetchSession session;
    std::size_t piece = 0;
    bool slot = false;        // holds one of the server's slots
    bool reachedEnd = false;  // its piece is whole (maybe shortened by a split)
    bool writeFailed = false;
    std::uint64_t received = 0;
};

// Answers that ask for fewer connections.
bool IsRefusal(FetchOutcome outcome, long status) {
    return outcome == FetchOutcome::ConnectError || outcome == FetchOutcome::SendError ||
           (outcome == FetchOutcome::BadStatus && (status == 429 || status == 503));
}

}  // namespace

CSegmentedTransfer::CSegmentedTransfer(SegmentJob job, FetchOutputFile& file, DataHandler onData)
    : m_job(std::move(job)),
      m_file(file),
      m_onData(std::move(onData)),
      m_plan(MissingRanges(m_job.done, m_job.nLength), std::max(1, m_job.nConnections), kMinPiece) {
}

std::vector<ByteRange> CSegmentedTransfer::Done() const {
    std::vector<ByteRange> all = m_job.done;
    const std::vector<ByteRange> fetched = m_plan.Fetched();
    all.insert(all.end(), fetched.begin(), fetched.end());
    return MergeRanges(std::move(all));
}

SegmentResult CSegmentedTransfer::Run(const std::atomic<int>& stop) {
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi) {
        m_strDetail = "curl could not create a multi handle";
        return SegmentResult::Fallback;
    }
    CServerSlots& slots = CServerSlots::Instance();
    std::vector<std::unique_ptr<Connection>> connections;
    int cap = std::max(1, m_job.nConnections);
    int failures = 0;
    std::optional<SegmentResult> result;

    const auto start = [&](std::size_t piece, bool slot) {
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        c->piece = piece;
        c->slot = slot;
        const auto onBody = [this, c, &stop](const char* data, std::size_t size) {
            if (stop.load(std::memory_order_relaxed) != 0) {
                return false;
            }
            const std::uint64_t at = m_plan.Position(c->piece);
            const std::size_t taken = m_plan.Advance(c->piece, size);
            if (taken > 0 && !m_file.WriteAt(at, data, taken)) {
                c->writeFailed = true;
                return false;
            }
            c->received += taken;
            if (taken > 0) {
                m_onData(taken);
            }
            c->reachedEnd = m_plan.PieceDone(c->piece);
            return taken == size;
        };
        if (!c->session.Open() ||
            !c->session.SetConnectOptions(m_job.connectTimeout, m_job.idleTimeout) ||
            !c->session.SetRequestOptions(
                m_job.strUrl, [](std::uint64_t) {}, onBody) ||
            !c->session.SetRange(m_plan.Position(piece), m_plan.End(piece) - 1, m_job.nLength,
                                 m_job.strValidator)) {
            return false;
        }
        c->session.BeginRun();
        if (curl_multi_add_handle(multi.get(), c->session.Handle()) != CURLM_OK) {
            return false;
        }
        connections.push_back(std::move(connection));
        return true;
    };
    const auto finish = [&](Connection& c, CURLcode code) {
        curl_multi_remove_handle(multi.get(), c.session.Handle());
        const FetchOutcome outcome = c.session.EndRun(code);
        if (c.slot) {
            slots.Release(m_job.strServer);
        }
        const int others = static_cast<int>(connections.size()) - 1;
        if (c.writeFailed) {
            result = SegmentResult::WriteFailed;
        } else if (c.reachedEnd) {
            // Whole, also when the piece was shortened under a running answer.
        } else if (outcome == FetchOutcome::RangeIgnored) {
            // Not the asked piece of the same resource: nothing of it was written.
            m_strDetail = "a piece came back as another answer (status " +
                          std::to_string(c.session.Status()) + ")";
            result = SegmentResult::Fallback;
        } else {
            m_plan.Release(c.piece);
            ++failures;
            const bool refused = IsRefusal(outcome, c.session.Status());
            if (refused) {
                cap = std::max(1, others);
            }
            qCDebug(lcDownload) << "a piece connection ended early:"
                                << QString::fromStdString(c.session.FailureReason())
                                << "- connections now" << cap;
            if (failures >= kMaxFailures || (others == 0 && refused && c.received == 0)) {
                m_strDetail = "pieces kept failing: " + c.session.FailureReason();
                result = SegmentResult::Fallback;
            }
        }
    };

    while (!result) {
        if (stop.load() != 0) {
            result = SegmentResult::Stopped;
            break;
        }
        if (m_plan.Complete() && connections.empty()) {
            result = SegmentResult::Complete;
            break;
        }
        while (static_cast<int>(connections.size()) < cap) {
            // Only a file's extra connections wait for a slot: each download may always
            // have one.
            const bool slot = slots.TryAcquire(m_job.strServer, m_job.nServerCap);
            if (!slot && !connections.empty()) {
                break;
            }
            const std::optional<std::size_t> piece = m_plan.Take();
            if (!piece || !start(*piece, slot)) {
                if (slot) {
                    slots.Release(m_job.strServer);
                }
                if (piece) {
                    m_plan.Release(*piece);
                    m_strDetail = "curl refused the settings of a piece";
                    result = SegmentResult::Fallback;
                }
                break;
            }
        }
        m_nPeak = std::max(m_nPeak, static_cast<int>(connections.size()));
        if (result) {
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            m_strDetail = "curl's multi handle failed";
            result = SegmentResult::Fallback;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            const CURLcode code = message->data.result;
            const auto it = std::find_if(
                connections.begin(), connections.end(),
                [&](const auto& c) { return c->session.Handle() == message->easy_handle; });
            if (it != connections.end()) {
                finish(**it, code);
                connections.erase(it);
            }
        }
        if (!result && !connections.empty()) {
            curl_multi_poll(multi.get(), nullptr, 0, kWakeMs, nullptr);
        }
    }
    for (const auto& c : connections) {
        curl_multi_remove_handle(multi.get(), c->session.Handle());
        if (c->slot) {
            slots.Release(m_job.strServer);
        }
    }
    if (stop.load() != 0 && *result != SegmentResult::WriteFailed) {
        return SegmentResult::Stopped;
    }
    return *result;
}

}  // namespace tamsel
