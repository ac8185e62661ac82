// The extraction service under load: a second process (curl) asks 50 result pages
// at a time, 1,000 in all, for a video site whose pages take 300 ms, while a third
// keeps sending requests the service must refuse. Every answer must be right and
// the service's memory must stay bounded. Prints the figures.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/ExtractionService.h"
#include "service/ServiceContract.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHttpServer.h"

using namespace tamsel;

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr int kRequests = 1000;
constexpr int kConcurrent = 50;
constexpr auto kPageDelay = 300ms;
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAMSEL_LOAD_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TAMSEL_LOAD_UNDER_ASAN)
// AddressSanitizer keeps up to 256 MiB of freed blocks in quarantine, and shadow
// memory and bigger thread stacks on top: only gross growth shows here.
constexpr long kMemoryBoundKiB = 768 * 1024;
#else
constexpr long kMemoryBoundKiB = 200 * 1024;
#endif

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when unreadable.
long ProcStatusKiB(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

// Runs a program found on the PATH with stdout and stderr to files; its exit
// status, or -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& args, const std::string& stdoutFile,
               const std::string& stderrFile) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // curl's parallel mode draws its progress meter even when told to be silent.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// The status curl wrote for one request ("%{http_code}"), or 0.
int StatusOf(const std::string& file) {
    const std::string text = testsupport::ReadFile(file);
    return text.empty() ? 0 : std::atoi(text.c_str());
}

struct Refusal {
    const char* label;
    std::vector<std::string> curlArgs;  // besides the address
    std::vector<int> allowed;
};

TEST(ServiceLoad, FiftyAtATimeFromAnotherProcessAllAnsweredRightInBoundedMemory) {
    testsupport::TestHttpServer site;
    // The site itself must take all 50 at once, or it would be what queues.
    site.Raw().new_task_queue = [] { return new httplib::ThreadPool(kConcurrent + 8); };
    site.Raw().Get(R"(/video/(\d+))", [&site](const httplib::Request& req, httplib::Response& res) {
        site.SleepUnlessStopping(kPageDelay);
        const std::string n = req.matches[1];
        res.set_content("<html><head><title>Clip " + n +
                            "</title></head><body><video src=\"/media/" + n +
                            ".mp4\"></video></body></html>",
                        "text/html");
    });
    ASSERT_TRUE(site.Start());

    // Every connection holds a worker while it is kept alive, so a pool smaller than
    // the load would make this a test of the queue (and of keep-alive timeouts); the
    // spare workers serve the refusals that arrive meanwhile.
    ServiceOptions options;
    options.sampleBytesPerSecond = 0;
    options.workerThreads = kConcurrent + 8;
    options.maxPageFetches = kConcurrent;
    ExtractionService service(options);
    ASSERT_TRUE(service.Start(0));
    const std::string own = "http://127.0.0.1:" + std::to_string(service.Port());

    testsupport::TempDir work;
    {
        std::ofstream config(work.File("load.cfg"));
        for (int i = 0; i < kRequests; ++i) {
            const std::string page = "http%3A%2F%2F127.0.0.1%3A" + std::to_string(site.Port()) +
                                     "%2Fvideo%2F" + std::to_string(i);
            config << "url = \"" << own << "/?url=" << page << "&" << kServiceFormKeyField << "="
                   << service.FormKey() << "\"\n"
                   << "output = \"" << work.File(std::to_string(i) + ".html") << "\"\n";
        }
    }

    // Requests the service must refuse, each carrying a big header block or a body.
    std::vector<std::string> manyHeaders;
    for (int i = 0; i < 40; ++i) {
        manyHeaders.push_back("-H");
        manyHeaders.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'x'));
    }
    const std::vector<Refusal> refusals = {
        {"foreign Host", {"-H", "Host: evil.test"}, {403}},
        {"many large headers", manyHeaders, {431, 400}},
        {"one oversized header", {"-H", "X-Big: " + std::string(20000, 'y')}, {431, 400}},
        {"GET with a body", {"-X", "GET", "--data", "abc"}, {413}},
        {"large body", {"-X", "GET", "--data", std::string(100000, 'z')}, {413}},
    };
    std::map<std::string, std::vector<int>> refusalAnswers;
    std::atomic<bool> loadDone{false};

    const long rssBefore = ProcStatusKiB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    int loadExit = -1;
    std::thread load([&] {
        loadExit =
            RunProgram({"curl", "--silent", "--show-error", "--parallel", "--parallel-max",
                        std::to_string(kConcurrent), "--max-time", "60", "--write-out",
                        "%{http_code} %{filename_effective}\\n", "--config", work.File("load.cfg")},
                       work.File("load.out"), work.File("load.err"));
        loadDone = true;
    });
    // Refusals keep coming while the load runs (at least one round).
    for (int round = 0; round == 0 || !loadDone; ++round) {
        for (const Refusal& r : refusals) {
            std::vector<std::string> args = {"curl",        "--silent",    "--output",
                                             "/dev/null",   "--max-time",  "10",
                                             "--write-out", "%{http_code}"};
            args.insert(args.end(), r.curlArgs.begin(), r.curlArgs.end());
            args.push_back(own + "/");
            RunProgram(args, work.File("refusal.out"), work.File("refusal.err"));
            refusalAnswers[r.label].push_back(StatusOf(work.File("refusal.out")));
        }
        std::this_thread::sleep_for(200ms);
    }
    load.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long rssAfter = ProcStatusKiB("VmRSS");
    const long hwm = ProcStatusKiB("VmHWM");

    ASSERT_EQ(loadExit, 0) << testsupport::ReadFile(work.File("load.out")).substr(0, 2000);
    std::map<std::string, int> statusByFile;
    {
        std::istringstream lines(testsupport::ReadFile(work.File("load.out")));
        int status = 0;
        std::string file;
        while (lines >> status >> file) {
            statusByFile[file] = status;
        }
    }
    int failures = 0;
    for (int i = 0; i < kRequests; ++i) {
        const std::string file = work.File(std::to_string(i) + ".html");
        const std::string body = testsupport::ReadFile(file);
        const std::string link = "href=\"" + site.Url("/media/" + std::to_string(i) + ".mp4") +
                                 "\" title=\"video file\">Download video";
        if (statusByFile[file] != 200 || body.find(link) == std::string::npos) {
            if (++failures <= 5) {
                ADD_FAILURE() << "request " << i << ": status " << statusByFile[file] << "\n"
                              << body.substr(0, 600);
            }
        }
    }
    int refusalRounds = 0;
    for (const Refusal& r : refusals) {
        const std::vector<int>& answers = refusalAnswers[r.label];
        refusalRounds = static_cast<int>(answers.size());
        for (const int status : answers) {
            EXPECT_NE(std::find(r.allowed.begin(), r.allowed.end(), status), r.allowed.end())
                << r.label << " answered " << status;
        }
    }

    std::printf(
        "service load: %d requests, %d at a time, %d failures, %.1f s wall, %.0f requests/s;\n"
        "  refusals: %d rounds of %zu during the load;\n"
        "  VmRSS %ld KiB before, %ld KiB after (%+ld KiB), VmHWM %ld KiB\n",
        kRequests, kConcurrent, failures, seconds, kRequests / seconds, refusalRounds,
        refusals.size(), rssBefore, rssAfter, rssAfter - rssBefore, hwm);
    EXPECT_EQ(failures, 0);
    EXPECT_LT(rssAfter - rssBefore, kMemoryBoundKiB);
    EXPECT_LT(hwm - rssBefore, kMemoryBoundKiB);
}

}  // namespace
