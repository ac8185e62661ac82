#include "service/ExtractionService.h"

#include <httplib.h>
#include <malloc.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <system_error>
#include <vector>

#include "base/AsciiText.h"
#include "service/RequestAdmission.h"
#include "service/ResultAnswer.h"
#include "service/SampleMedia.h"
#include "service/ServicePages.h"

namespace tamsel {

namespace {

using namespace std::chrono_literals;

constexpr const char* kHtmlType = "text/html; charset=utf-8";
constexpr const char* kSampleMediaPath = "/sample/tamsel-sample.flv";
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
constexpr std::size_t kMaxHeaderCount = 64;

void SetHtml(httplib::Response& res, int status, const std::string& html) {
    res.status = status;
    res.set_content(html, kHtmlType);
}

// Pacing state of one sample clip response.
struct SamplePacing {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::uint64_t sent = 0;
};

// Holds one of the service's page-read slots while it lives.
class FetchSlot {
public:
    FetchSlot(std::atomic<int>& count, int limit) : m_count(count) {
        m_bHeld = m_count.fetch_add(1) < limit;
        if (!m_bHeld) {
            m_count.fetch_sub(1);
        }
    }
    ~FetchSlot() {
        if (m_bHeld) {
            m_count.fetch_sub(1);
        }
    }
    FetchSlot(const FetchSlot&) = delete;
    FetchSlot& operator=(const FetchSlot&) = delete;
    bool Held() const { return m_bHeld; }

private:
    std::atomic<int>& m_count;
    bool m_bHeld = false;
};

}  // namespace

ExtractionService::ExtractionService(ServiceOptions options)
    : m_options(options), m_strFormKey(NewFormKey()) {}

ExtractionService::~ExtractionService() {
    Stop();
}

bool ExtractionService::Start(int port) {
    if (m_server) {
        return false;
    }
    m_stopping.store(false);
    auto server = std::make_unique<httplib::Server>();
    // Plain SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would
    // let a second service share the port instead of finding it taken.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server = std::move(server);
    ConfigureRoutes();
    int bound = 0;
    if (port == 0) {
        bound = m_server->bind_to_any_port(kServiceHost);
    } else if (m_server->bind_to_port(kServiceHost, port)) {
        bound = port;
    }
    if (bound <= 0) {
        m_server.reset();
        return false;
    }
    m_port.store(bound);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    httplib::Server* raw = m_server.get();
    try {
        m_thread = std::thread([raw, ended] {
            raw->listen_after_bind();
            ended->store(true);
        });
    } catch (const std::system_error&) {
        m_server.reset();
        m_port.store(0);
        return false;
    }
    // stop() is only heard once the loop runs; wait for it so Stop cannot be lost.
    while (!m_server->is_running() && !ended->load()) {
        std::this_thread::sleep_for(1ms);
    }
    if (ended->load()) {
        m_thread.join();
        m_server.reset();
        m_port.store(0);
        return false;
    }
    return true;
}

void ExtractionService::Stop() {
    if (!m_server) {
        return;
    }
    m_stopping.store(true);
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_server.reset();
    m_port.store(0);
}

void ExtractionService::ConfigureRoutes() {
    httplib::Server& server = *m_server;
    const int threads = std::max(1, m_options.workerThreads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(1024);
    server.set_read_timeout(5s);
    server.set_write_timeout(10s);
    server.set_keep_alive_timeout(2);
    server.set_keep_alive_max_count(100);
    server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"},
                                {"X-Frame-Options", "DENY"},
                                {"Cache-Control", "no-store"},
                                {"Content-Security-Policy",
                                 "default-src 'none'; style-src 'unsafe-inline'; media-src *; "
                                 "form-action 'self'; frame-ancestors 'none'"}});

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const std::string port = std::to_string(m_port.load());
        const std::string host = AsciiLower(TrimBlanks(req.get_header_value("Host")));
        if (host != std::string(kServiceHost) + ":" + port && host != "localhost:" + port) {
            SetHtml(
                res, 403,
                RenderErrorPage(403, "This service answers only to requests for its own address."));
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            SetHtml(res, 405, RenderErrorPage(405, "Only GET requests are served here."));
            return httplib::Server::HandlerResponse::Handled;
        }
        const std::string length = req.get_header_value("Content-Length");
        if ((!length.empty() && length != "0") || req.has_header("Transfer-Encoding")) {
            SetHtml(res, 413, RenderErrorPage(413, "Requests here carry no body."));
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.headers.size() > kMaxHeaderCount) {
            SetHtml(res, 431, RenderErrorPage(431, "The request has too many headers."));
            return httplib::Server::HandlerResponse::Handled;
        }
        std::size_t headerBytes = 0;
        for (const auto& [key, value] : req.headers) {
            headerBytes += key.size() + value.size() + 4;
        }
        if (headerBytes > kMaxHeaderBytes) {
            SetHtml(res, 431, RenderErrorPage(431, "The request's headers are too large."));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            const std::string message = res.status == 404 ? "There is no page at this address."
                                                          : "The request could not be served.";
            SetHtml(res, res.status, RenderErrorPage(res.status, message));
            return httplib::Server::HandlerResponse::Handled;
        }));

    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            SetHtml(res, 500, RenderErrorPage(500, "The service failed to answer this request."));
        });

    server.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.has_param("url")) {
            SetHtml(res, 200, RenderHomePage(m_strFormKey));
            return;
        }
        const std::string refusal = PageRequestRefusal(
            req.get_param_value(kServiceFormKeyField), m_strFormKey,
            req.get_header_value("Sec-Fetch-Site"), req.get_header_value("Origin"), m_port.load());
        if (!refusal.empty()) {
            SetHtml(res, 403, RenderErrorPage(403, refusal));
            return;
        }
        const std::string address = TrimBlanks(req.get_param_value("url"));
        if (req.has_header(kFetcherMarkHeader)) {
            // Reading our own result pages would tie up one worker per round;
            // 508 Loop Detected ends the chain at the first round.
            SetHtml(res, 508,
                    RenderResultPage(address, {}, "The service does not read its own result pages.",
                                     m_strFormKey));
            return;
        }
        const FetchSlot slot(m_nPageFetches, std::max(1, m_options.maxPageFetches));
        if (!slot.Held()) {
            res.set_header("Retry-After", "2");
            SetHtml(res, 503,
                    RenderResultPage(address, {}, "The service is busy; try again shortly.",
                                     m_strFormKey));
            return;
        }
        ResultAnswer answer = AnswerForAddress(address, m_options.fetch, m_stopping, m_strFormKey);
        SetHtml(res, answer.status, answer.html);
        answer = {};
        // A big page's parse leaves its memory in the allocator's arenas; hand it back.
        malloc_trim(0);
    });

    server.Get("/about", [this](const httplib::Request&, httplib::Response& res) {
        SetHtml(res, 200,
                RenderAboutPage("http://localhost:" + std::to_string(m_port.load()) + "/sample/",
                                m_strFormKey));
    });

    server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kServiceHealthText, "text/plain");
    });

    server.Get("/sample/?", [this](const httplib::Request&, httplib::Response& res) {
        // localhost, not 127.0.0.1: links into the service's base address are never taken.
        SetHtml(res, 200,
                RenderSamplePage("http://localhost:" + std::to_string(m_port.load()) +
                                 kSampleMediaPath));
    });

    server.Get(kSampleMediaPath, [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Accept-Ranges", "bytes");
        auto pacing = std::make_shared<SamplePacing>();
        const std::uint64_t rate = m_options.sampleBytesPerSecond;
        res.set_content_provider(
            static_cast<std::size_t>(kSampleMediaLength), "video/x-flv",
            [this, pacing, rate](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                char buffer[64 * 1024];
                const std::size_t chunk = std::min(length, sizeof buffer);
                FillSampleMedia(offset, buffer, chunk);
                if (rate > 0) {
                    const auto due = pacing->start + std::chrono::microseconds(
                                                         (pacing->sent + chunk) * 1000000 / rate);
                    while (!m_stopping.load() && std::chrono::steady_clock::now() < due) {
                        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                            20ms, due - std::chrono::steady_clock::now()));
                    }
                }
                if (m_stopping.load() || !sink.write(buffer, chunk)) {
                    return false;
                }
                pacing->sent += chunk;
                return true;
            });
    });
}

bool IsServiceRunningOn(int port) {
    if (port <= 0 || port > 65535) {
        return false;
    }
    httplib::Client client(kServiceHost, port);
    client.set_connection_timeout(0, 500000);
    client.set_read_timeout(2, 0);
    client.set_write_timeout(2, 0);
    const auto answer = client.Get("/health");
    return answer && answer->status == 200 && answer->body == kServiceHealthText;
}

}  // namespace tamsel
