#include "tests/support/TestHttpServer.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace testsupport {

namespace {

std::string Base64(const std::string& text) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8) |
                           static_cast<unsigned char>(text[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i + 1 == text.size()) {
        const unsigned v = static_cast<unsigned char>(text[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == text.size()) {
        const unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

}  // namespace

std::string MakeTestBytes(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        data[i] = static_cast<char>(state & 0xFF);
    }
    return data;
}

namespace {

// A throw-away key and a self-signed certificate for 127.0.0.1, valid for a day.
std::unique_ptr<httplib::Server> MakeTlsServer() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    if (key == nullptr || certificate == nullptr) {
        EVP_PKEY_free(key);
        X509_free(certificate);
        return std::make_unique<httplib::Server>();
    }
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());
    // The server's context keeps its own references.
    auto server = std::make_unique<httplib::SSLServer>(certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return server;
}

}  // namespace

TestHttpServer::TestHttpServer(bool tls)
    : m_server(tls ? MakeTlsServer() : std::make_unique<httplib::Server>()), m_bTls(tls) {
    // One request per connection: a client holding a kept-alive connection open must
    // not delay the server's stop.
    m_server->set_keep_alive_max_count(1);
    m_server->set_read_timeout(2, 0);
    m_server->set_write_timeout(2, 0);
}

TestHttpServer::~TestHttpServer() {
    Stop();
}

void TestHttpServer::Get(const std::string& pattern, Handler handler) {
    m_server->Get(pattern, std::move(handler));
}

void TestHttpServer::Post(const std::string& pattern, Handler handler) {
    m_server->Post(pattern, std::move(handler));
}

bool TestHttpServer::Start() {
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        CountHit(request.path);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_nPort = m_server->bind_to_any_port("127.0.0.1");
    if (m_nPort <= 0) {
        return false;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 500 && !m_server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void TestHttpServer::Stop() {
    m_bStopping.store(true);
    if (m_thread.joinable()) {
        // Start waited until the server listens, so this stop is seen.
        m_server->stop();
        m_thread.join();
    }
}

std::string TestHttpServer::Url(const std::string& path) const {
    return (m_bTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_nPort) + path;
}

int TestHttpServer::Hits(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_hitsLock);
    auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}

void TestHttpServer::CountHit(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_hitsLock);
    ++m_hits[path];
}

bool TestHttpServer::SleepUnlessStopping(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!Stopping()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            end - now, std::chrono::milliseconds(10)));
    }
    return false;
}

void TestHttpServer::ServeBytes(const std::string& path, std::string data,
                                const std::string& contentType) {
    auto body = std::make_shared<std::string>(std::move(data));
    Get(path, [body, contentType](const httplib::Request&, httplib::Response& response) {
        response.set_content(*body, contentType);
    });
}

void TestHttpServer::ServeChunked(const std::string& path, std::string data,
                                  std::size_t chunkSize) {
    auto body = std::make_shared<std::string>(std::move(data));
    Get(path, [body, chunkSize](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "application/octet-stream",
            [body, chunkSize](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= body->size()) {
                    sink.done();
                    return true;
                }
                const std::size_t n = std::min(chunkSize, body->size() - offset);
                return sink.write(body->data() + offset, n);
            });
    });
}

void TestHttpServer::ServeFile(const std::string& path, const std::string& filePath) {
    Get(path, [filePath](const httplib::Request&, httplib::Response& response) {
        auto file = std::make_shared<std::ifstream>(filePath, std::ios::binary);
        if (!*file) {
            response.status = 404;
            return;
        }
        file->seekg(0, std::ios::end);
        const auto size = static_cast<std::size_t>(file->tellg());
        file->seekg(0);
        auto buffer = std::make_shared<std::vector<char>>(64 * 1024);
        response.set_content_provider(
            size, "application/octet-stream",
            [file, buffer](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                file->seekg(static_cast<std::streamoff>(offset));
                const std::size_t n = std::min(length, buffer->size());
                file->read(buffer->data(), static_cast<std::streamsize>(n));
                const auto got = static_cast<std::size_t>(file->gcount());
                return got > 0 && sink.write(buffer->data(), got);
            });
    });
}

void TestHttpServer::ServeStatus(const std::string& path, int status, const std::string& body) {
    Get(path, [status, body](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        if (!body.empty()) {
            response.set_content(body, "text/plain");
        }
    });
}

void TestHttpServer::ServeWithBasicAuth(const std::string& path, const std::string& user,
                                        const std::string& password, std::string data, bool proxy) {
    auto body = std::make_shared<std::string>(std::move(data));
    const std::string expected = "Basic " + Base64(user + ":" + password);
    Get(path,
        [body, expected, proxy](const httplib::Request& request, httplib::Response& response) {
            const char* header = proxy ? "Proxy-Authorization" : "Authorization";
            if (request.get_header_value(header) == expected) {
                response.set_content(*body, "application/octet-stream");
                return;
            }
            response.status = proxy ? 407 : 401;
            response.set_header(proxy ? "Proxy-Authenticate" : "WWW-Authenticate",
                                "Basic realm=\"test\"");
            response.set_content("credentials required", "text/plain");
        });
}

void TestHttpServer::ServeRedirect(const std::string& path, const std::string& target, int status) {
    Get(path, [this, target, status](const httplib::Request&, httplib::Response& response) {
        const bool absolute = target.find("://") != std::string::npos;
        response.set_redirect(absolute ? target : Url(target), status);
    });
}

void TestHttpServer::ServeTruncated(const std::string& path, std::size_t announced,
                                    std::string data) {
    auto body = std::make_shared<std::string>(std::move(data));
    Get(path, [body, announced](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            announced, "application/octet-stream",
            [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < body->size()) {
                    return sink.write(body->data() + offset, body->size() - offset);
                }
                return false;  // drop the connection short of the announced length
            });
    });
}

void TestHttpServer::ServeStallAfterHeaders(const std::string& path, std::size_t announced,
                                            std::string prefix) {
    auto body = std::make_shared<std::string>(std::move(prefix));
    Get(path, [this, body, announced](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            announced, "application/octet-stream",
            [this, body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < body->size()) {
                    return sink.write(body->data() + offset, body->size() - offset);
                }
                // Nothing more; hold the connection until the client leaves or we stop.
                while (sink.is_writable() && SleepUnlessStopping(std::chrono::milliseconds(20))) {
                }
                return false;
            });
    });
}

void TestHttpServer::ServeNoAnswer(const std::string& path) {
    Get(path, [this](const httplib::Request&, httplib::Response& response) {
        while (SleepUnlessStopping(std::chrono::milliseconds(20))) {
        }
        response.status = 503;
    });
}

std::string TestHttpServer::SlowBody(std::size_t total) {
    return MakeTestBytes(total, 7);
}

void TestHttpServer::ServeSlow(const std::string& path, std::size_t total, std::size_t chunk,
                               std::chrono::milliseconds interval) {
    auto body = std::make_shared<std::string>(SlowBody(total));
    Get(path, [this, body, chunk, interval](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            body->size(), "application/octet-stream",
            [this, body, chunk, interval](std::size_t offset, std::size_t length,
                                          httplib::DataSink& sink) {
                if (!SleepUnlessStopping(interval)) {
                    return false;
                }
                const std::size_t n = std::min(chunk, length);
                return sink.write(body->data() + offset, n);
            });
    });
}

}  // namespace testsupport
