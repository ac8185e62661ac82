// Downloads one generated file from a loopback server, alternately with MediaFetcher
// (reports handled on a Qt event loop, as the task list does) and with the curl
// command-line tool, and compares their throughput.
//
//   fetch_vs_curl [MiB] [--no-probe]      (default 1024 MiB)
//
// The event loop's lateness is probed with a 10 ms timer. On a busy two-core machine its
// hundred wake-ups a second preempt the download threads and cost measurable throughput;
// --no-probe leaves the timer out to show the fetcher's own speed.
//
// The last line is "ratio R": our median throughput over curl's. Each run also shows
// the processor time it took, server included (the server runs in this process in
// both cases), which says more than throughput on a busy machine.

#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/CurlGlobal.h"
#include "download/MediaFetcher.h"
#include "download/SpeedText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

namespace {

constexpr int kRounds = 3;
constexpr int kTickMs = 10;

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessAndChildrenCpu() {
    return CpuSeconds(RUSAGE_SELF) + CpuSeconds(RUSAGE_CHILDREN);
}

const QEvent::Type kReportEvent = static_cast<QEvent::Type>(QEvent::User + 1);

class ReportEvent : public QEvent {
public:
    explicit ReportEvent(int code) : QEvent(kReportEvent), m_code(code) {}
    int m_code;
};

// The view's side: turns reports into the texts the list shows, one event at a time.
class BenchView : public QObject, public FetchReportSink {
public:
    void Attach(MediaFetcher* fetcher) { m_pFetcher = fetcher; }

    void PostFetchProgress(int code, int, std::uint64_t) override {
        QCoreApplication::postEvent(this, new ReportEvent(code));
    }
    void RequestCredentials(std::shared_ptr<CredentialsRequest> request) override {
        request->Answer(false, "", "");
    }

    int m_nTerminal = 0;
    std::uint64_t m_nDataReports = 0;
    std::string m_strSize;
    std::string m_strProgress;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != kReportEvent) {
            return;
        }
        const int code = static_cast<ReportEvent*>(event)->m_code;
        if (code == FETCH_LENGTH) {
            m_strSize = FormatSize(m_pFetcher->Length());
        } else if (code == FETCH_DATA) {
            ++m_nDataReports;
            m_strProgress = FormatPercent(m_pFetcher->Received(), m_pFetcher->Length());
            m_pFetcher->DataReportHandled();
        } else if (IsTerminalFetchCode(code)) {
            m_nTerminal = code;
            QCoreApplication::quit();
        }
    }

private:
    MediaFetcher* m_pFetcher = nullptr;
};

struct OurRun {
    double seconds = 0;
    double cpuSeconds = 0;
    double worstLatenessMs = 0;
    int terminal = 0;
    std::uint64_t dataReports = 0;
    std::string progress;
};

OurRun FetchWithMediaFetcher(const std::string& url, const std::string& folder, bool probe) {
    OurRun run;
    BenchView view;
    MediaFetcher fetcher;
    view.Attach(&fetcher);
    fetcher.SetView(&view);
    fetcher.SetTask(folder, url, "ours.flv", 0, 0);

    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double lateness = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - kTickMs;
        run.worstLatenessMs = std::max(run.worstLatenessMs, lateness);
        sinceTick.restart();
    });

    const double cpuBefore = ProcessAndChildrenCpu();
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    if (probe) {
        ticker.start(kTickMs);
    }
    fetcher.Start();
    QCoreApplication::exec();
    run.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    ticker.stop();
    if (fetcher.m_pThread.joinable()) {
        fetcher.m_pThread.join();
    }
    run.cpuSeconds = ProcessAndChildrenCpu() - cpuBefore;
    run.terminal = view.m_nTerminal;
    run.dataReports = view.m_nDataReports;
    run.progress = view.m_strProgress;
    return run;
}

// The same probe on an idle event loop: what the machine alone costs the timer.
double IdleLateness(int milliseconds) {
    double worst = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worst = std::max(worst, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - kTickMs);
        sinceTick.restart();
    });
    QTimer::singleShot(milliseconds, [] { QCoreApplication::quit(); });
    sinceTick.start();
    ticker.start(kTickMs);
    QCoreApplication::exec();
    return worst;
}

struct CurlRun {
    double seconds = 0;
    double cpuSeconds = 0;
};

CurlRun FetchWithCurlTool(const std::string& url, const std::string& path) {
    const std::string command = "curl -s -o '" + path + "' '" + url + "'";
    const double cpuBefore = ProcessAndChildrenCpu();
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (status != 0) {
        std::fprintf(stderr, "curl failed: %d\n", status);
        std::exit(1);
    }
    return {elapsed.count(), ProcessAndChildrenCpu() - cpuBefore};
}

bool SameFiles(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) {
            return false;
        }
    }
    return fa.eof() && fb.eof();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    EnsureCurlGlobalInit();
    QCoreApplication app(argc, argv);
    const long mebibytes = argc > 1 ? std::atol(argv[1]) : 1024;
    const bool probe = !(argc > 2 && std::string(argv[2]) == "--no-probe");
    if (mebibytes <= 0) {
        std::fprintf(stderr, "usage: fetch_vs_curl [MiB] [--no-probe]\n");
        return 2;
    }

    testsupport::TempDir folder;
    const std::string source = folder.File("source.bin");
    {
        std::ofstream out(source, std::ios::binary);
        for (long i = 0; i < mebibytes; ++i) {
            const std::string block = testsupport::MakeTestBytes(1 << 20, static_cast<unsigned>(i));
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", source.c_str());
            return 1;
        }
    }
    testsupport::TestHttpServer server;
    server.ServeFile("/media.flv", source);
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the server\n");
        return 1;
    }
    const std::string url = server.Url("/media.flv");
    const double size = static_cast<double>(mebibytes);

    if (probe) {
        std::printf("idle event loop at most %.1f ms late over 3 s\n", IdleLateness(3000));
    }

    std::vector<double> ours, theirs;
    double worstLateness = 0;
    for (int round = 1; round <= kRounds; ++round) {
        // Who goes first alternates, so neither always meets the other's dirty pages.
        OurRun run;
        CurlRun curl;
        const auto runOurs = [&] {
            run = FetchWithMediaFetcher(url, folder.Path(), probe);
            const bool ok =
                run.terminal == FETCH_DONE && SameFiles(source, folder.File("ours.flv"));
            std::remove(folder.File("ours.flv").c_str());
            return ok;
        };
        const auto runCurl = [&] {
            curl = FetchWithCurlTool(url, folder.File("curl.flv"));
            const bool ok = SameFiles(source, folder.File("curl.flv"));
            std::remove(folder.File("curl.flv").c_str());
            return ok;
        };
        bool oursOk, curlOk;
        if (round % 2 == 1) {
            oursOk = runOurs();
            curlOk = runCurl();
        } else {
            curlOk = runCurl();
            oursOk = runOurs();
        }
        if (!oursOk) {
            std::fprintf(stderr, "round %d: our download failed (report %d)\n", round,
                         run.terminal);
            return 1;
        }
        if (!curlOk) {
            std::fprintf(stderr, "round %d: curl's file differs\n", round);
            return 1;
        }
        ours.push_back(size / run.seconds);
        theirs.push_back(size / curl.seconds);
        worstLateness = std::max(worstLateness, run.worstLatenessMs);

        std::printf(
            "round %d: ours %.1f MiB/s, %.2f s CPU (%llu data reports, last \"%s\", "
            "event loop at most %.1f ms late); curl %.1f MiB/s, %.2f s CPU\n",
            round, ours.back(), run.cpuSeconds, static_cast<unsigned long long>(run.dataReports),
            run.progress.c_str(), run.worstLatenessMs, theirs.back(), curl.cpuSeconds);
        std::fflush(stdout);
    }
    const double ratio = Median(ours) / Median(theirs);
    std::printf("size %ld MiB, median ours %.1f MiB/s, median curl %.1f MiB/s\n", mebibytes,
                Median(ours), Median(theirs));
    std::printf("worst event loop lateness %.1f ms\n", worstLateness);
    std::printf("ratio %.3f\n", ratio);
    return 0;
}
