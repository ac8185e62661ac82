// Bytes the server sends for a download that is stopped at half and started again, as a
// ratio to the file's size (goal: at most 1.05). Usage: resume_after_stop [size in MiB],
// 1024 by default.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench/TerminalSink.h"
#include "download/FetchCodes.h"
#include "download/MediaFetcher.h"
#include "tests/support/ResumableSource.h"
#include "tests/support/TestFiles.h"

using namespace tamsel;

int main(int argc, char** argv) {
    const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1024;
    if (mib <= 0) {
        std::fprintf(stderr, "usage: %s [size in MiB]\n", argv[0]);
        return 2;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(mib) * 1024 * 1024;
    testsupport::TempDir folder;
    testsupport::ResumableSource source(size, 1);
    if (!source.Start()) {
        return 1;
    }
    source.HoldAt(size / 2);
    FetchResume resume;
    {
        TerminalSink terminal;
        MediaFetcher fetcher;
        fetcher.SetView(&terminal);
        fetcher.SetTask(folder.Path(), source.Url("/media"), "media.flv", 1, 0);
        fetcher.Start();
        while (fetcher.Received() < size / 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        fetcher.RequestStop();  // Stop at 50 %
        if (terminal.Wait() != FETCH_STOPPED) {
            return 1;
        }
        fetcher.Join();
        resume = fetcher.Resume();
    }
    source.Release();
    TerminalSink terminal;
    MediaFetcher fetcher;
    fetcher.SetView(&terminal);
    fetcher.SetResume(resume);
    fetcher.SetTask(folder.Path(), source.Url("/media"), "media.flv", 1, 0);
    fetcher.Start();  // Start
    const int code = terminal.Wait();
    fetcher.Join();
    const double ratio = static_cast<double>(source.BodyBytesSent()) / static_cast<double>(size);
    std::printf("file %ld MiB, server sent %llu bytes, ratio %.4f (goal <= 1.05)%s\n", mib,
                static_cast<unsigned long long>(source.BodyBytesSent()), ratio,
                code == FETCH_DONE ? "" : ", DOWNLOAD FAILED");
    return code == FETCH_DONE && ratio <= 1.05 ? 0 : 1;
}
