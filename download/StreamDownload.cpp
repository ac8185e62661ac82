#include "download/StreamDownload.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"
#include "base/CurlTransfer.h"
#include "download/DashManifest.h"
#include "download/DownloadLog.h"
#include "download/FetchCodes.h"
#include "download/FetchOutputFile.h"
#include "download/HlsPlaylist.h"

namespace tamsel {

// One thing to fetch and write, in file order: a segment or an initialisation section.
struct StreamDownload::Piece {
    std::string url;
    HlsByteRange range;
    const std::string* key = nullptr;  // 16 bytes when the piece is encrypted
    std::array<unsigned char, 16> iv{};
};

namespace {

using Piece = StreamDownload::Piece;

constexpr const char* kUnreadable = "The stream's playlist cannot be read.";
constexpr const char* kKeyFailure = "The stream's key could not be fetched.";

// A key is 16 bytes; anything much longer is not a key.
constexpr std::size_t kMaxKeyBytes = 1024;
// Pieces fetched ahead of the one being written: enough to keep every connection busy
// while one slow segment holds up the writing.
constexpr std::size_t kPiecesAhead = 2 * StreamDownload::kConnections;
// A piece waiting for its turn holds at most this much in memory; beyond it its
// transfer pauses until its turn comes and it is written straight to the file.
constexpr std::size_t kMaxHeldBytes = 32 * 1024 * 1024;
constexpr int kWakeMs = 50;

int CodeFor(TransferFailure failure) {
    switch (failure) {
        case TransferFailure::ResolveFailed:
        case TransferFailure::ConnectFailed:
        case TransferFailure::ConnectTimedOut:
        case TransferFailure::Tls:
            return FETCH_CONNECT_ERROR;
        case TransferFailure::TooManyRedirects:
        case TransferFailure::RefusedScheme:
        case TransferFailure::HttpError:
            return FETCH_BAD_STATUS;
        case TransferFailure::NotHttp:
            return FETCH_STATUS_ERROR;
        case TransferFailure::NoAnswer:
            return FETCH_SEND_ERROR;
        default:
            return FETCH_TRANSFER_ERROR;
    }
}

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct CipherDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using Cipher = std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter>;

// A small body (playlist, key) read whole.
struct SmallAnswer {
    std::string body;
    std::string contentType;
    std::string finalUrl;
};

std::size_t AppendCapped(char* data, std::size_t size, std::size_t count, void* target) {
    auto* body = static_cast<std::pair<std::string*, std::size_t>*>(target);
    const std::size_t length = size * count;
    if (body->first->size() + length > body->second) {
        return 0;
    }
    body->first->append(data, length);
    return length;
}

// Sets what every transfer of a stream shares; false when curl refuses it.
bool PrepareEasy(CURL* easy, const std::string& url, std::chrono::milliseconds connectTimeout,
                 std::chrono::milliseconds idleTimeout, char* errorBuffer) {
    CurlTransferOptions options;
    options.connectTimeoutMs = static_cast<long>(connectTimeout.count());
    options.stallSeconds = static_cast<long>(std::max<std::chrono::seconds::rep>(
        1, std::chrono::ceil<std::chrono::seconds>(idleTimeout).count()));
    options.errorBuffer = errorBuffer;
    return ApplyTransferOptions(easy, options) &&
           curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L) == CURLE_OK;
}

// A failed piece in the user's words.
std::string UserReason(long status, const std::string& reason) {
    return status >= 300 ? "the server answered " + std::to_string(status) : reason;
}

std::string Describe(CURL* easy, CURLcode result, const char* errorBuffer) {
    const long status = ResponseStatus(easy);
    if (result == CURLE_HTTP_RETURNED_ERROR || (result == CURLE_OK && status != 0)) {
        return "HTTP status " + std::to_string(status);
    }
    return TransferFailureText(result, errorBuffer, status);
}

// Fetches the pieces several at a time and writes them in order.
class SegmentPump {
public:
    SegmentPump(const std::atomic<int>& stop, const std::vector<Piece>& pieces,
                FetchOutputFile& file, const StreamReportHandlers& handlers, bool estimate,
                std::chrono::milliseconds connectTimeout, std::chrono::milliseconds idleTimeout)
        : m_bEstimate(estimate),
          m_stop(stop),
          m_pieces(pieces),
          m_file(file),
          m_handlers(handlers),
          m_connectTimeout(connectTimeout),
          m_idleTimeout(idleTimeout),
          m_attempts(pieces.size(), 0) {}

    ~SegmentPump() {
        for (auto& job : m_jobs) {
            curl_multi_remove_handle(m_multi.get(), job.easy.get());
        }
        m_jobs.clear();
    }

    // Why the run failed, for the user; "" when the file (see its Error()) is to blame.
    const std::string& UserFailure() const { return m_strUserFailure; }

    // FETCH_DONE, FETCH_STOPPED or a failure code with `failure` filled.
    int Run(std::string& failure) {
        m_multi.reset(curl_multi_init());
        if (!m_multi) {
            failure = "curl could not create a transfer";
            return FETCH_SESSION_ERROR;
        }
        while (m_nNextWrite < m_pieces.size()) {
            if (m_stop.load() != 0) {
                return FETCH_STOPPED;
            }
            while (m_jobs.size() < static_cast<std::size_t>(StreamDownload::kConnections) &&
                   m_nNextStart < m_pieces.size() && m_nNextStart < m_nNextWrite + kPiecesAhead) {
                if (!Start(m_nNextStart)) {
                    failure = "curl refused the request settings";
                    return FETCH_REQUEST_ERROR;
                }
                ++m_nNextStart;
            }
            int running = 0;
            if (curl_multi_perform(m_multi.get(), &running) != CURLM_OK) {
                failure = "curl could not run the transfers";
                return FETCH_SESSION_ERROR;
            }
            bool finished = false;
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                finished = true;
                const int code = Finished(message->easy_handle, message->data.result, failure);
                if (code != 0) {
                    return code;
                }
            }
            if (!finished) {
                curl_multi_poll(m_multi.get(), nullptr, 0, kWakeMs, nullptr);
            }
        }
        return FETCH_DONE;
    }

private:
    struct Job {
        SegmentPump* pump = nullptr;
        std::size_t piece = 0;
        EasyHandle easy;
        Cipher cipher;
        std::string held;  // decrypted bytes waiting for the piece's turn
        bool direct = false;
        bool paused = false;
        bool writeFailed = false;
        std::string refusal;  // why the body was refused, when it was
        std::uint64_t fileStart = 0;
        std::uint64_t bodyBytes = 0;
        std::vector<unsigned char> scratch;
        char error[CURL_ERROR_SIZE] = {};
    };

    bool Start(std::size_t index) {
        const Piece& piece = m_pieces[index];
        m_jobs.emplace_back();
        Job& job = m_jobs.back();
        job.pump = this;
        job.piece = index;
        job.easy.reset(curl_easy_init());
        if (!job.easy) {
            m_jobs.pop_back();
            return false;
        }
        CURL* easy = job.easy.get();
        bool ok = PrepareEasy(easy, piece.url, m_connectTimeout, m_idleTimeout, job.error) &&
                  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody) == CURLE_OK &&
                  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &job) == CURLE_OK &&
                  curl_easy_setopt(easy, CURLOPT_PRIVATE, &job) == CURLE_OK;
        if (ok && piece.range.length != 0) {
            const std::string range = std::to_string(piece.range.offset) + "-" +
                                      std::to_string(piece.range.offset + piece.range.length - 1);
            ok = curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str()) == CURLE_OK;
        }
        if (ok && piece.key != nullptr) {
            job.cipher.reset(EVP_CIPHER_CTX_new());
            ok = job.cipher &&
                 EVP_DecryptInit_ex(job.cipher.get(), EVP_aes_128_cbc(), nullptr,
                                    reinterpret_cast<const unsigned char*>(piece.key->data()),
                                    piece.iv.data()) == 1;
        }
        if (index == m_nNextWrite) {
            job.direct = true;
            job.fileStart = m_file.Size();
        }
        ok = ok && curl_multi_add_handle(m_multi.get(), easy) == CURLM_OK;
        if (!ok) {
            m_jobs.pop_back();
        }
        return ok;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        Job& job = *static_cast<Job*>(self);
        return job.pump->Accept(job, data, size * count);
    }

    std::size_t Accept(Job& job, const char* data, std::size_t size) {
        const Piece& piece = m_pieces[job.piece];
        if (!job.direct && job.held.size() >= kMaxHeldBytes) {
            job.paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        const long status = ResponseStatus(job.easy.get());
        if (piece.range.length != 0 && status != 206) {
            job.refusal =
                "the server ignored the byte range (HTTP status " + std::to_string(status) + ")";
            return 0;
        }
        job.bodyBytes += size;
        if (piece.range.length != 0 && job.bodyBytes > piece.range.length) {
            job.refusal = "the server sent more than the byte range";
            return 0;
        }
        if (!job.cipher) {
            return Deliver(job, data, size) ? size : 0;
        }
        job.scratch.resize(size + EVP_MAX_BLOCK_LENGTH);
        int out = 0;
        if (EVP_DecryptUpdate(job.cipher.get(), job.scratch.data(), &out,
                              reinterpret_cast<const unsigned char*>(data),
                              static_cast<int>(size)) != 1) {
            job.refusal = "the segment could not be decrypted";
            return 0;
        }
        return Deliver(job, reinterpret_cast<const char*>(job.scratch.data()),
                       static_cast<std::size_t>(out))
                   ? size
                   : 0;
    }

    bool Deliver(Job& job, const char* data, std::size_t size) {
        if (size == 0) {
            return true;
        }
        if (!job.direct) {
            job.held.append(data, size);
            return true;
        }
        if (!m_file.Append(data, size)) {
            job.writeFailed = true;
            return false;
        }
        m_handlers.onWritten(m_file.Size());
        return true;
    }

    // 0 to go on, else the run's end.
    int Finished(CURL* easy, CURLcode result, std::string& failure) {
        Job* found = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char**>(&found));
        auto it = m_jobs.begin();
        while (it != m_jobs.end() && &*it != found) {
            ++it;
        }
        if (it == m_jobs.end()) {
            return 0;
        }
        Job& job = *it;
        curl_multi_remove_handle(m_multi.get(), easy);
        const long answered = ResponseStatus(easy);
        const Piece& piece = m_pieces[job.piece];
        std::string reason;
        if (job.writeFailed) {
            failure = "cannot write the file";
            return FETCH_TRANSFER_ERROR;
        }
        if (!job.refusal.empty()) {
            reason = job.refusal;
        } else if (result != CURLE_OK) {
            reason = Describe(easy, result, job.error);
        } else if (const long status = ResponseStatus(easy); status < 200 || status > 299) {
            reason = "HTTP status " + std::to_string(status);
        } else if (piece.range.length != 0 && job.bodyBytes != piece.range.length) {
            reason = "the server sent less than the byte range";
        } else if (job.cipher) {
            std::array<unsigned char, EVP_MAX_BLOCK_LENGTH> last{};
            int out = 0;
            if (EVP_DecryptFinal_ex(job.cipher.get(), last.data(), &out) != 1) {
                reason = "the segment could not be decrypted";
            } else if (!Deliver(job, reinterpret_cast<const char*>(last.data()),
                                static_cast<std::size_t>(out))) {
                failure = "cannot write the file";
                return FETCH_TRANSFER_ERROR;
            }
        }
        if (!reason.empty()) {
            const std::size_t index = job.piece;
            const bool direct = job.direct;
            const std::uint64_t fileStart = job.fileStart;
            const TransferFailure kind =
                result == CURLE_OK ? TransferFailure::Other : ClassifyTransfer(easy, result);
            m_jobs.erase(it);
            qCDebug(lcDownload) << "segment" << index << QString::fromStdString(piece.url)
                                << "failed:" << QString::fromStdString(reason);
            if (++m_attempts[index] >= StreamDownload::kAttempts) {
                failure =
                    "segment " + std::to_string(index + 1) + " (" + piece.url + "): " + reason;
                m_strUserFailure =
                    "Segment " + std::to_string(index + 1) +
                    " of the stream could not be downloaded: " + UserReason(answered, reason) + ".";
                return result == CURLE_HTTP_RETURNED_ERROR ? FETCH_BAD_STATUS : CodeFor(kind);
            }
            if (direct) {
                if (!m_file.TruncateTo(fileStart)) {
                    failure = "cannot write the file";
                    return FETCH_TRANSFER_ERROR;
                }
                m_handlers.onWritten(m_file.Size());
            }
            if (!Start(index)) {
                failure = "curl refused the request settings";
                return FETCH_REQUEST_ERROR;
            }
            return 0;
        }
        if (job.direct) {
            ++m_nNextWrite;
        } else {
            m_ready.emplace(job.piece, std::move(job.held));
        }
        m_jobs.erase(it);
        return Advance(failure);
    }

    // Writes the pieces whose turn has come and lets the next one write straight on.
    int Advance(std::string& failure) {
        for (auto ready = m_ready.find(m_nNextWrite); ready != m_ready.end();
             ready = m_ready.find(m_nNextWrite)) {
            if (!m_file.Append(ready->second.data(), ready->second.size())) {
                failure = "cannot write the file";
                return FETCH_TRANSFER_ERROR;
            }
            m_ready.erase(ready);
            ++m_nNextWrite;
        }
        m_handlers.onWritten(m_file.Size());
        // Without stated sizes the pieces written so far stand for the rest.
        if (m_bEstimate && m_nNextWrite > 0 && m_nNextWrite < m_pieces.size()) {
            const std::uint64_t written = m_file.Size();
            m_handlers.onLength(written + written / m_nNextWrite * (m_pieces.size() - m_nNextWrite),
                                false);
        }
        for (auto& job : m_jobs) {
            if (job.piece == m_nNextWrite && !job.direct) {
                job.fileStart = m_file.Size();
                job.direct = true;
                if (!job.held.empty() && !m_file.Append(job.held.data(), job.held.size())) {
                    failure = "cannot write the file";
                    return FETCH_TRANSFER_ERROR;
                }
                job.held.clear();
                job.held.shrink_to_fit();
                m_handlers.onWritten(m_file.Size());
                if (job.paused) {
                    job.paused = false;
                    curl_easy_pause(job.easy.get(), CURLPAUSE_CONT);
                }
            }
        }
        return 0;
    }

    const bool m_bEstimate;
    const std::atomic<int>& m_stop;
    const std::vector<Piece>& m_pieces;
    FetchOutputFile& m_file;
    const StreamReportHandlers& m_handlers;
    const std::chrono::milliseconds m_connectTimeout;
    const std::chrono::milliseconds m_idleTimeout;
    std::unique_ptr<CURLM, MultiDeleter> m_multi;
    std::list<Job> m_jobs;  // a list: curl holds pointers to its elements
    std::map<std::size_t, std::string> m_ready;
    std::vector<int> m_attempts;
    std::size_t m_nNextStart = 0;
    std::size_t m_nNextWrite = 0;
    std::string m_strUserFailure;
};

}  // namespace

StreamDownload::StreamDownload(const std::atomic<int>& stop, StreamReportHandlers handlers)
    : m_bStop(stop), m_handlers(std::move(handlers)) {
    if (!m_handlers.onLength) {
        m_handlers.onLength = [](std::uint64_t, bool) {};
    }
    if (!m_handlers.onWritten) {
        m_handlers.onWritten = [](std::uint64_t) {};
    }
}

StreamDownload::~StreamDownload() = default;

void StreamDownload::SetTimeouts(std::chrono::milliseconds connectTimeout,
                                 std::chrono::milliseconds idleTimeout) {
    m_connectTimeout = connectTimeout;
    m_idleTimeout = idleTimeout;
}

int StreamDownload::Fail(int code, std::string text, std::string detail) {
    m_strFailure = std::move(text);
    m_strDetail = std::move(detail);
    return code;
}

namespace {

// Reads a small body whole; 0 when it came, else a fetch code with `failure` filled.
int FetchSmall(const std::atomic<int>& stop, const std::string& url, std::size_t cap,
               std::chrono::milliseconds connectTimeout, std::chrono::milliseconds idleTimeout,
               SmallAnswer& answer, std::string& failure) {
    EnsureCurlGlobalInit();
    EasyHandle easy(curl_easy_init());
    char error[CURL_ERROR_SIZE] = {};
    std::pair<std::string*, std::size_t> target(&answer.body, cap);
    answer.body.clear();
    if (!easy || !PrepareEasy(easy.get(), url, connectTimeout, idleTimeout, error) ||
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &AppendCapped) != CURLE_OK ||
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &target) != CURLE_OK) {
        failure = "curl refused the request settings";
        return FETCH_REQUEST_ERROR;
    }
    const std::optional<CURLcode> result =
        PerformUntil(easy.get(), [&stop] { return stop.load() != 0; });
    if (!result) {
        return FETCH_STOPPED;
    }
    if (*result == CURLE_WRITE_ERROR) {
        failure = url + ": the answer is larger than " + std::to_string(cap) + " bytes";
        return FETCH_TRANSFER_ERROR;
    }
    if (*result != CURLE_OK) {
        failure = url + ": " + Describe(easy.get(), *result, error);
        return *result == CURLE_HTTP_RETURNED_ERROR
                   ? FETCH_BAD_STATUS
                   : CodeFor(ClassifyTransfer(easy.get(), *result));
    }
    const long status = ResponseStatus(easy.get());
    if (status < 200 || status > 299) {
        failure = url + ": HTTP status " + std::to_string(status);
        return FETCH_BAD_STATUS;
    }
    const char* type = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &type);
    answer.contentType = type != nullptr ? type : "";
    const char* finalUrl = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &finalUrl);
    answer.finalUrl = finalUrl != nullptr ? finalUrl : url;
    return 0;
}

bool EndsWithTs(const std::string& url) {
    const std::string path = url.substr(0, url.find_first_of("?#"));
    return path.size() >= 3 && path.compare(path.size() - 3, 3, ".ts") == 0;
}

}  // namespace

int StreamDownload::Prepare(const std::string& url) {
    SmallAnswer answer;
    std::string failure;
    const int code = FetchSmall(m_bStop, url, kMaxPlaylistBytes, m_connectTimeout, m_idleTimeout,
                                answer, failure);
    if (code != 0) {
        return Fail(code, "The stream's playlist could not be downloaded.", failure);
    }
    return PrepareFrom(answer.body, answer.finalUrl);
}

int StreamDownload::PrepareFrom(const std::string& text, const std::string& url) {
    m_strFailure.clear();
    m_strDetail.clear();
    m_pieces.clear();
    m_keys.clear();
    SmallAnswer answer;
    answer.body = text;
    answer.finalUrl = url;
    std::string failure;
    int code = 0;
    if (LooksLikeDashManifest(answer.body)) {
        return PrepareDash(answer.body, answer.finalUrl);
    }
    HlsPlaylist playlist = ParseHlsPlaylist(answer.body, answer.finalUrl);
    if (playlist.error.empty() && playlist.master) {
        const int chosen = ChooseHlsVariant(playlist.variants);
        if (chosen < 0) {
            return Fail(FETCH_TRANSFER_ERROR, kUnreadable, url + ": the playlist lists no variant");
        }
        const HlsVariant& variant = playlist.variants[static_cast<std::size_t>(chosen)];
        if (variant.separateAudio) {
            return Fail(FETCH_TRANSFER_ERROR, kSplitStreamRefusal);
        }
        const std::string variantUrl = variant.url;
        qCDebug(lcDownload) << "stream variant" << QString::fromStdString(variantUrl) << "at"
                            << variant.bandwidth << "bit/s";
        code = FetchSmall(m_bStop, variantUrl, kMaxPlaylistBytes, m_connectTimeout, m_idleTimeout,
                          answer, failure);
        if (code != 0) {
            return Fail(code, "The stream's playlist could not be downloaded.", failure);
        }
        playlist = ParseHlsPlaylist(answer.body, answer.finalUrl);
        if (playlist.error.empty() && playlist.master) {
            return Fail(FETCH_TRANSFER_ERROR, kUnreadable,
                        variantUrl + ": a variant is a master playlist");
        }
    }
    if (!playlist.error.empty()) {
        return Fail(FETCH_TRANSFER_ERROR, kUnreadable, answer.finalUrl + ": " + playlist.error);
    }
    for (const HlsKey& key : playlist.keys) {
        if (!key.IsClearKey()) {
            return Fail(FETCH_TRANSFER_ERROR, kDrmStreamRefusal);
        }
    }
    if (!playlist.endList) {
        return Fail(FETCH_TRANSFER_ERROR, kLiveStreamRefusal);
    }
    if (playlist.segments.empty()) {
        return Fail(FETCH_TRANSFER_ERROR, kUnreadable,
                    answer.finalUrl + ": the playlist lists no segments");
    }

    // Keys, once per address.
    std::map<std::string, std::string>& keyBytes = m_keys;
    for (const HlsKey& key : playlist.keys) {
        if (keyBytes.count(key.url) != 0) {
            continue;
        }
        SmallAnswer keyAnswer;
        code = FetchSmall(m_bStop, key.url, kMaxKeyBytes, m_connectTimeout, m_idleTimeout,
                          keyAnswer, failure);
        if (code != 0) {
            return Fail(code, kKeyFailure, "key " + failure);
        }
        if (keyAnswer.body.size() != 16) {
            return Fail(FETCH_TRANSFER_ERROR, kKeyFailure,
                        "key " + key.url + ": not 16 bytes long");
        }
        keyBytes.emplace(key.url, std::move(keyAnswer.body));
    }

    // The pieces in file order: each initialisation section before the first segment
    // that uses it.
    std::vector<Piece>& pieces = m_pieces;
    bool announced = true;
    std::uint64_t length = 0;
    int lastInit = -1;
    const auto pieceFor = [&](const std::string& pieceUrl, const HlsByteRange& range, int keyIndex,
                              std::uint64_t sequence) {
        Piece piece;
        piece.url = pieceUrl;
        piece.range = range;
        if (keyIndex >= 0) {
            const HlsKey& key = playlist.keys[static_cast<std::size_t>(keyIndex)];
            piece.key = &keyBytes.at(key.url);
            if (key.hasIv) {
                piece.iv = key.iv;
            } else {
                for (int i = 0; i < 8; ++i) {
                    piece.iv[15 - i] = static_cast<unsigned char>(sequence >> (8 * i));
                }
            }
            announced = false;  // the padding makes the stated sizes a little too large
        }
        if (range.length == 0) {
            announced = false;
        }
        length += range.length;
        pieces.push_back(std::move(piece));
    };
    for (const HlsSegment& segment : playlist.segments) {
        if (segment.init >= 0 && segment.init != lastInit) {
            const HlsInit& init = playlist.inits[static_cast<std::size_t>(segment.init)];
            pieceFor(init.url, init.range, init.key, segment.sequence);
            lastInit = segment.init;
        }
        pieceFor(segment.url, segment.range, segment.key, segment.sequence);
    }
    const bool fragmented = !playlist.inits.empty() && !EndsWithTs(playlist.segments[0].url);
    m_strExtension = fragmented ? ".mp4" : ".ts";
    m_bAnnounced = announced;
    m_nLength = length;
    return 0;
}

int StreamDownload::PrepareDash(const std::string& text, const std::string& url) {
    const DashStream dash = ReadDashManifest(text, url);
    if (dash.live) {
        return Fail(FETCH_TRANSFER_ERROR, kLiveStreamRefusal);
    }
    if (dash.protectedContent) {
        return Fail(FETCH_TRANSFER_ERROR, kDrmStreamRefusal);
    }
    if (dash.split) {
        return Fail(FETCH_TRANSFER_ERROR, kSplitStreamRefusal);
    }
    if (!dash.error.empty()) {
        return Fail(FETCH_TRANSFER_ERROR, kUnreadable, url + ": " + dash.error);
    }
    std::vector<Piece>& pieces = m_pieces;
    bool announced = true;
    std::uint64_t length = 0;
    for (const DashPiece& dashPiece : dash.pieces) {
        Piece piece;
        piece.url = dashPiece.url;
        piece.range = dashPiece.range;
        announced = announced && piece.range.length != 0;
        length += piece.range.length;
        pieces.push_back(std::move(piece));
    }
    m_strExtension = dash.extension;
    m_bAnnounced = announced;
    m_nLength = length;
    return 0;
}

int StreamDownload::Write(FetchOutputFile& file) {
    if (m_bStop.load() != 0) {
        return FETCH_STOPPED;
    }
    if (m_bAnnounced) {
        m_handlers.onLength(m_nLength, true);
    }
    SegmentPump pump(m_bStop, m_pieces, file, m_handlers, !m_bAnnounced, m_connectTimeout,
                     m_idleTimeout);
    std::string failure;
    int code = pump.Run(failure);
    if (code == FETCH_DONE && !file.Finish()) {
        code = FETCH_TRANSFER_ERROR;
        failure = "cannot write the file";
    }
    if (code != FETCH_DONE) {
        return code == FETCH_STOPPED ? code : Fail(code, pump.UserFailure(), failure);
    }
    m_handlers.onWritten(file.Size());
    return FETCH_DONE;
}

}  // namespace tamsel
