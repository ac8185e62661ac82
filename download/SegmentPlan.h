#pragma once
// Which bytes of one file each connection fetches: the missing ranges are cut into
// pieces, one per connection, and a connection that runs out of work takes over half
// of the largest piece still running, so one slow connection never holds up the end.
// Pure bookkeeping: no I/O, no threads.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tamsel {

// Bytes [first, end) of a file.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    std::uint64_t Size() const { return end - first; }
    bool operator==(const ByteRange&) const = default;
};

// Sorted, with overlapping and touching ranges joined; empty ones dropped.
std::vector<ByteRange> MergeRanges(std::vector<ByteRange> ranges);
// What [0, length) lacks besides `done` (merged or not).
std::vector<ByteRange> MissingRanges(const std::vector<ByteRange>& done, std::uint64_t length);
// The bytes `ranges` cover (merged ranges).
std::uint64_t CoveredBytes(const std::vector<ByteRange>& ranges);

class CSegmentPlan {
public:
    // `missing`: what is still to fetch; pieces are cut to about 1/`connections` of it
    // and never split below `minPiece` bytes.
    CSegmentPlan(const std::vector<ByteRange>& missing, int connections, std::uint64_t minPiece);

    // A piece for a connection that is free: a piece nobody fetches, else the upper half
    // of the running piece with the most left. Nothing when no piece is worth splitting.
    std::optional<std::size_t> Take();
    // The connection of piece `index` ended early: its rest goes back to the pool.
    void Release(std::size_t index);
    // `size` bytes arrived for piece `index` at its current position; returns how many of
    // them belong to it (a piece shortened by a split takes no more than its end).
    std::size_t Advance(std::size_t index, std::size_t size);

    // Where piece `index` continues and where it ends.
    std::uint64_t Position(std::size_t index) const { return m_pieces[index].at; }
    std::uint64_t End(std::size_t index) const { return m_pieces[index].end; }
    bool PieceDone(std::size_t index) const { return m_pieces[index].at >= m_pieces[index].end; }
    bool Complete() const;
    // Bytes not yet arrived.
    std::uint64_t Remaining() const;
    // What has arrived, besides what was done before the plan began.
    std::vector<ByteRange> Fetched() const;

private:
    struct Piece {
        std::uint64_t first;
        std::uint64_t at;
        std::uint64_t end;
        bool running;
    };
    std::vector<Piece> m_pieces;
    std::uint64_t m_nMinPiece;
};

}  // namespace tamsel
