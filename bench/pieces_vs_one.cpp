// Throughput of one file over 1 and over 8 connections from a server that paces each
// connection, as many media servers and CDNs do (goal: 8 connections at least 5 times
// faster than 1). Usage: pieces_vs_one [size in MiB] [MB/s per connection], 64 and 20
// by default.

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

namespace {

// Seconds one download takes, or a negative number when it fails.
double Fetch(const std::string& url, int connections) {
    testsupport::TempDir folder;
    TerminalSink terminal;
    MediaFetcher fetcher;
    fetcher.SetView(&terminal);
    fetcher.SetMaxConnections(connections);
    fetcher.SetTask(folder.Path(), url, "media.flv", 1, 0);
    const auto began = std::chrono::steady_clock::now();
    fetcher.Start();
    const int code = terminal.Wait();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    fetcher.Join();
    return code == FETCH_DONE ? took.count() : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
    const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 64;
    const long pace = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 20;
    if (mib <= 0 || pace <= 0) {
        std::fprintf(stderr, "usage: %s [size in MiB] [MB/s per connection]\n", argv[0]);
        return 2;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(mib) * 1024 * 1024;
    testsupport::ResumableSource source(size, 1);
    source.PaceEachConnection(static_cast<std::uint64_t>(pace) * 1000 * 1000);
    if (!source.Start()) {
        return 1;
    }
    const double one = Fetch(source.Url("/media"), 1);
    const double eight = Fetch(source.Url("/media"), 8);
    if (one < 0 || eight < 0) {
        std::fprintf(stderr, "a download failed\n");
        return 1;
    }
    const double mb = static_cast<double>(size) / 1e6;
    std::printf("%ld MiB, %ld MB/s per connection\n", mib, pace);
    std::printf("1 connection:  %6.2f s  %7.1f MB/s\n", one, mb / one);
    std::printf("8 connections: %6.2f s  %7.1f MB/s\n", eight, mb / eight);
    std::printf("speed-up: %.2fx\n", one / eight);
    return 0;
}
