#pragma once
// What the link resolver may ask of the task table: the queue of page addresses and
// its cursor, the rows found by their page address, the start of a download and the
// count of downloads running. The table implements it; the resolver sees nothing else.

#include <string>

namespace tamsel {

class CResolverHost {
public:
    // The address at the queue's cursor: the next one to resolve; "" when none is left.
    virtual std::string NextQueuedUrl() const = 0;
    // Puts the cursor just past url; false when url is not queued (its task was deleted).
    virtual bool MoveQueuePast(const std::string& url) = 0;
    // Puts the cursor past the address at it, given up; nothing at the end.
    virtual void SkipQueuedUrl() = 0;

    // The row of the task for a page address, -1 when none.
    virtual int FindRowByUrl(const std::string& url) const = 0;
    virtual int GetTaskState(int row) const = 0;
    virtual void SetTaskState(int row, int state) = 0;
    virtual std::string CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const std::string& text) = 0;
    virtual int TaskIdAt(int row) const = 0;
    // The file name the page's title gives, "" while no title has arrived.
    virtual std::string GetTitleFileName(const std::string& pageUrl) const = 0;
    virtual void RepaintList() = 0;
    // Marks the task of `row` failed and keeps `reason` (one sentence for the user) where
    // the user and the log see it. Every failure of a task goes through here.
    virtual void FailTask(int row, const std::string& reason) = 0;

    // `stream`: the service marked the address as a stream (HLS or DASH), whatever its
    // name says; the task keeps the mark for later Starts.
    virtual void StartFetcher(const std::string& mediaUrl, const std::string& fileName, int taskId,
                              bool stream = false) = 0;
    // Downloads running. A page that started one raises it; the download's end lowers it.
    virtual int Running() const = 0;
    virtual void RaiseRunning() = 0;

protected:
    virtual ~CResolverHost() = default;
};

}  // namespace tamsel
