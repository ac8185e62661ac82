#include "download/SegmentPlan.h"

#include <algorithm>

namespace tamsel {

std::vector<ByteRange> MergeRanges(std::vector<ByteRange> ranges) {
    std::erase_if(ranges, [](const ByteRange& r) { return r.end <= r.first; });
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, r.end);
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::vector<ByteRange> MissingRanges(const std::vector<ByteRange>& done, std::uint64_t length) {
    std::vector<ByteRange> missing;
    std::uint64_t at = 0;
    for (const ByteRange& r : MergeRanges(done)) {
        if (r.first >= length) {
            break;
        }
        if (r.first > at) {
            missing.push_back({at, r.first});
        }
        at = std::max(at, r.end);
    }
    if (at < length) {
        missing.push_back({at, length});
    }
    return missing;
}

std::uint64_t CoveredBytes(const std::vector<ByteRange>& ranges) {
    std::uint64_t total = 0;
    for (const ByteRange& r : ranges) {
        total += r.Size();
    }
    return total;
}

CSegmentPlan::CSegmentPlan(const std::vector<ByteRange>& missing, int connections,
                           std::uint64_t minPiece)
    : m_nMinPiece(std::max<std::uint64_t>(minPiece, 1)) {
    const std::uint64_t total = CoveredBytes(missing);
    const std::uint64_t share = std::max<std::uint64_t>(
        m_nMinPiece, (total + static_cast<std::uint64_t>(std::max(connections, 1)) - 1) /
                         static_cast<std::uint64_t>(std::max(connections, 1)));
    for (const ByteRange& r : missing) {
        for (std::uint64_t at = r.first; at < r.end;) {
            // A tail smaller than a piece joins the piece before it.
            const std::uint64_t end = r.end - at < share + m_nMinPiece ? r.end : at + share;
            m_pieces.push_back({at, at, end, false});
            at = end;
        }
    }
}

std::optional<std::size_t> CSegmentPlan::Take() {
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        if (!m_pieces[i].running && m_pieces[i].at < m_pieces[i].end) {
            m_pieces[i].running = true;
            return i;
        }
    }
    std::optional<std::size_t> largest;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        const Piece& p = m_pieces[i];
        if (p.running && p.end - p.at >= 2 * m_nMinPiece &&
            (!largest || p.end - p.at > m_pieces[*largest].end - m_pieces[*largest].at)) {
            largest = i;
        }
    }
    if (!largest) {
        return std::nullopt;
    }
    Piece& old = m_pieces[*largest];
    const std::uint64_t middle = old.at + (old.end - old.at) / 2;
    const std::uint64_t end = old.end;
    old.end = middle;
    m_pieces.push_back({middle, middle, end, true});
    return m_pieces.size() - 1;
}

void CSegmentPlan::Release(std::size_t index) {
    m_pieces[index].running = false;
}

std::size_t CSegmentPlan::Advance(std::size_t index, std::size_t size) {
    Piece& p = m_pieces[index];
    const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(size, p.end - p.at));
    p.at += taken;
    return taken;
}

bool CSegmentPlan::Complete() const {
    return Remaining() == 0;
}

std::uint64_t CSegmentPlan::Remaining() const {
    std::uint64_t left = 0;
    for (const Piece& p : m_pieces) {
        left += p.end - p.at;
    }
    return left;
}

std::vector<ByteRange> CSegmentPlan::Fetched() const {
    std::vector<ByteRange> fetched;
    for (const Piece& p : m_pieces) {
        fetched.push_back({p.first, p.at});
    }
    return MergeRanges(std::move(fetched));
}

}  // namespace tamsel
