// The part of the media fetcher that fetches one file over several connections.

#include "base/UrlParse.h"
#include "download/DownloadLog.h"
#include "download/FetchSession.h"
#include "download/MediaFetcher.h"
#include "download/SegmentedTransfer.h"

namespace tamsel {

namespace {

// Smaller files gain too little from more connections to pay for their set-up.
constexpr std::uint64_t kMinFileForPieces = 4 * 1024 * 1024;
// Connections to one server across all downloads of the process.
constexpr int kServerCap = 8;

std::string ServerKey(const std::string& url) {
    ParsedUrl parsed;
    if (!ParseUrl(url, parsed)) {
        return url;
    }
    return parsed.scheme + "://" + parsed.host + ":" + std::to_string(parsed.port);
}

}  // namespace

bool MediaFetcher::WantsPieces(const FetchSession& session, std::uint64_t length) const {
    // Without a validator no answer could prove it is a piece of the same resource;
    // credentials are not handed to further connections.
    return m_nMaxConnections > 1 && !m_bPiecesTried && !m_bCredentialsSent &&
           length >= kMinFileForPieces && session.OffersRanges() && !session.Validator().empty();
}

int MediaFetcher::TransferInPieces(FetchOutputFile& file, std::uint64_t length,
                                   std::uint64_t& offset) {
    m_bPieces = false;
    m_bPiecesTried = true;
    const FetchResume resume = Resume();
    SegmentJob job;
    job.strUrl = m_strMediaUrl;
    job.strServer = ServerKey(m_strMediaUrl);
    job.nLength = length;
    job.strValidator = resume.strValidator;
    job.done = resume.doneRanges.empty() ? std::vector<ByteRange>{{0, offset}} : resume.doneRanges;
    job.nConnections = m_nMaxConnections;
    job.nServerCap = kServerCap;
    job.connectTimeout = m_connectTimeout;
    job.idleTimeout = m_idleTimeout;
    CSegmentedTransfer pieces(job, file, [this](std::size_t bytes) { CountReceived(bytes); });
    const SegmentResult result = pieces.Run(m_bStop);
    std::vector<ByteRange> done = pieces.Done();
    qCDebug(lcDownload) << "task" << m_nReportId << "fetched in pieces over up to"
                        << pieces.PeakConnections() << "connections";
    const auto keepRanges = [&] {
        std::lock_guard<std::mutex> guard(m_lock);
        const bool fromStart = done.size() == 1 && done.front().first == 0;
        m_resume.doneRanges = fromStart ? std::vector<ByteRange>{} : done;
        m_resume.nLength = length;
    };
    switch (result) {
        case SegmentResult::Complete:
            if (m_bUnreportedData && !m_bDataPending.load()) {
                PostData(std::chrono::steady_clock::now());
            }
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_resume.doneRanges.clear();
            }
            if (!file.Finish()) {
                m_bStop.store(1);
                return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
            }
            return m_bStop.load() != 0 ? FETCH_STOPPED : FETCH_DONE;
        case SegmentResult::Stopped:
            keepRanges();
            return FETCH_STOPPED;
        case SegmentResult::WriteFailed:
            keepRanges();
            m_bStop.store(1);
            return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
        case SegmentResult::Fallback:
            break;
    }
    // One connection goes on from the end of what is whole from the start; later pieces
    // are dropped rather than trusted across a server that misbehaved.
    qCDebug(lcDownload) << "task" << m_nReportId << "goes on over one connection:"
                        << QString::fromStdString(pieces.Detail());
    offset = !done.empty() && done.front().first == 0 ? done.front().end : 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_resume.doneRanges.clear();
    }
    if (!file.TruncateTo(offset)) {
        m_bStop.store(1);
        return Fail(FETCH_TRANSFER_ERROR, WriteFailure(file));
    }
    SetReceived(offset);
    return 0;
}

}  // namespace tamsel
