#include "download/PageTitle.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

#include "base/AsciiText.h"
#include "base/CancellableTransfer.h"
#include "base/CurlGlobal.h"
#include "base/CurlTransfer.h"

namespace tamsel {

namespace {

// Collects the title lines of a page fed to it in pieces of any size.
class TitleLineCollector {
public:
    explicit TitleLineCollector(const TitleReadLimits& limits) : m_limits(limits) {}

    // Returns false once reading can stop.
    bool Feed(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size && !m_done; ++i) {
            const char c = data[i];
            if (c == '\r') {
                continue;
            }
            if (c == '\n') {
                EndLine();
            } else if (m_line.size() < m_limits.maxLineBytes) {
                m_line.push_back(c);
            }
        }
        m_pageBytes += size;
        if (m_pageBytes >= m_limits.maxPageBytes) {
            Finish();
        }
        return !m_done;
    }

    // The page ended (or reading failed): the last line counts without its line feed.
    void Finish() {
        if (!m_done && !m_line.empty()) {
            EndLine();
        }
        m_done = true;
    }

    const std::string& Text() const { return m_text; }

private:
    void EndLine() {
        ++m_lineNumber;
        std::string line;
        line.swap(m_line);
        if (line.empty()) {
            return;
        }
        const std::string test = AsciiLower(TrimBlanks(line));
        if (!m_started && test.find("<title>") != std::string::npos) {
            m_started = true;
            m_startLine = m_lineNumber;
            Append(line);
        } else if (m_started && !m_ended && m_lineNumber > m_startLine) {
            Append(line);
        }
        if (test.find("</title>") != std::string::npos) {
            m_ended = true;
        }
        if ((m_started && m_ended) || m_lineNumber > 500) {
            m_done = true;
        }
    }

    void Append(const std::string& line) {
        const std::size_t room =
            m_limits.maxTextBytes - std::min(m_limits.maxTextBytes, m_text.size());
        m_text.append(line, 0, std::min(room, line.size()));
    }

    const TitleReadLimits m_limits;
    std::string m_line;
    std::string m_text;
    std::size_t m_pageBytes = 0;
    long m_lineNumber = 0;
    long m_startLine = 0;
    bool m_started = false;
    bool m_ended = false;
    bool m_done = false;
};

std::size_t OnTitleBytes(char* data, std::size_t size, std::size_t count, void* user) {
    auto* collector = static_cast<TitleLineCollector*>(user);
    const std::size_t bytes = size * count;
    // Returning less than given makes curl end the transfer.
    return collector->Feed(data, bytes) ? bytes : 0;
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};

}  // namespace

std::string ReadTitleLines(const std::string& pageUrl, const std::atomic<bool>& cancel) {
    return ReadTitleLines(pageUrl, cancel, TitleReadLimits{});
}

std::string ReadTitleLines(const std::string& pageUrl, const std::atomic<bool>& cancel,
                           const TitleReadLimits& limits) {
    if (pageUrl.empty() || cancel.load()) {
        return {};
    }
    EnsureCurlGlobalInit();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        return {};
    }
    TitleLineCollector collector(limits);
    CURL* h = easy.get();
    CurlTransferOptions options;
    options.totalTimeoutMs = limits.totalTimeoutMs;
    options.acceptEncoding = true;
    if (!ApplyTransferOptions(h, options) ||
        curl_easy_setopt(h, CURLOPT_URL, pageUrl.c_str()) != CURLE_OK) {
        return {};
    }
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);  // an error page's title is no title
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnTitleBytes);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &collector);
    // Any end of the transfer counts; a cut-short page still has its lines.
    if (!PerformCancellable(h, cancel)) {
        return {};
    }
    if (ResponseStatus(h) >= 400) {
        return {};
    }
    collector.Finish();
    return ToValidUtf8(collector.Text());
}

std::string CollectTitleLines(const std::string& page, const TitleReadLimits& limits) {
    TitleLineCollector collector(limits);
    collector.Feed(page.data(), page.size());
    collector.Finish();
    return ToValidUtf8(collector.Text());
}

std::string ToValidUtf8(const std::string& text) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and code points past U+10FFFF are invalid too.
        if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
            ok = false;
        }
        if (ok) {
            out.append(text, i, len);
            i += len;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes a numeric reference body ("#233" or "#xE9"); false when it is not one.
bool DecodeNumericEntity(const std::string& body, std::uint32_t& cp) {
    if (body.size() < 2 || body[0] != '#') {
        return false;
    }
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::size_t first = hex ? 2 : 1;
    if (first >= body.size() || body.size() - first > 8) {
        return false;
    }
    std::uint32_t value = 0;
    for (std::size_t i = first; i < body.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (hex && std::isxdigit(c)) {
            value = value * 16 + static_cast<std::uint32_t>(
                                     std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
        } else if (!hex && std::isdigit(c)) {
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        } else {
            return false;
        }
    }
    cp = value;
    return true;
}

// Decodes the entities page titles commonly carry; anything else stays as written.
std::string DecodeCommonEntities(const std::string& s) {
    struct Named {
        const char* name;
        const char* text;
    };
    static const Named kNamed[] = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                                   {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t semi = s[i] == '&' ? s.find(';', i + 1) : std::string::npos;
        if (semi == std::string::npos || semi - i > 12) {
            out.push_back(s[i]);
            ++i;
            continue;
        }
        const std::string body = s.substr(i + 1, semi - i - 1);
        bool decoded = false;
        std::uint32_t cp = 0;
        if (DecodeNumericEntity(body, cp)) {
            // Null, surrogates and values past Unicode decode to nothing.
            if (cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
                AppendUtf8(out, cp);
            }
            decoded = true;
        } else {
            const std::string lower = AsciiLower(body);
            for (const Named& n : kNamed) {
                if (lower == n.name) {
                    out += n.text;
                    decoded = true;
                    break;
                }
            }
        }
        if (decoded) {
            i = semi + 1;
        } else {
            out.push_back(s[i]);
            ++i;
        }
    }
    return out;
}

// Cuts valid UTF-8 to at most `maxBytes` without splitting a character.
std::string CutAtCharBoundary(const std::string& s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) {
        return s;
    }
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) {
        --end;
    }
    return s.substr(0, end);
}

// Characters that change how a name reads without showing themselves: bidirectional
// controls, zero-width and other format characters, the soft hyphen.
bool IsHiddenFormatCharacter(std::uint32_t cp) {
    return cp == 0x00AD || cp == 0x061C || cp == 0x180E || (cp >= 0x200B && cp <= 0x200F) ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF ||
           (cp >= 0xFFF9 && cp <= 0xFFFB) || cp == 0x110BD || (cp >= 0x1D173 && cp <= 0x1D17A) ||
           cp == 0xE0001 || (cp >= 0xE0020 && cp <= 0xE007F);
}

// `text` (valid UTF-8) without hidden format characters.
std::string WithoutHiddenFormatCharacters(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (!IsHiddenFormatCharacter(cp)) {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

}  // namespace

std::string TitleToFileName(const std::string& text) {
    static const std::string kExtension = ".flv";
    static const std::size_t kMaxNameBytes = 255;

    const std::string lower = AsciiLower(text);
    const std::size_t endTag = lower.find("</title>");
    const std::size_t startTag = lower.find("<title>");
    const long end = endTag == std::string::npos ? -1 : static_cast<long>(endTag);
    long start = startTag == std::string::npos ? -1 : static_cast<long>(startTag) + 7;
    if (start < 0) {
        start = 0;
    }
    long length = std::max(0L, end - start);
    std::string title;
    if (static_cast<std::size_t>(start) < text.size()) {
        title = text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    }

    title = ToValidUtf8(DecodeCommonEntities(title));
    std::string cleaned;
    cleaned.reserve(title.size());
    for (std::size_t i = 0; i < title.size(); ++i) {
        const unsigned char u = static_cast<unsigned char>(title[i]);
        // C1 controls (U+0080..U+009F) go the way of C0 ones; the text is valid UTF-8 here.
        if (u == 0xC2 && i + 1 < title.size() && static_cast<unsigned char>(title[i + 1]) <= 0x9F) {
            ++i;
            continue;
        }
        if (u >= 0x20 && u != 0x7F) {
            cleaned.push_back(title[i]);
        }
    }
    for (char forbidden : std::string(":*?<>|/\"\\")) {
        cleaned.erase(std::remove(cleaned.begin(), cleaned.end(), forbidden), cleaned.end());
    }
    cleaned = WithoutHiddenFormatCharacters(cleaned);
    cleaned = TrimBlanks(CutAtCharBoundary(TrimBlanks(cleaned), kMaxNameBytes - kExtension.size()));
    // Nothing left, or a hidden file: the task keeps its time name.
    if (cleaned.empty() || cleaned[0] == '.') {
        return {};
    }
    return cleaned + kExtension;
}

}  // namespace tamsel
