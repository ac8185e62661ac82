#include "tasks/LinkResolver.h"

#include <QObject>
#include <algorithm>
#include <cctype>
#include <cstdint>

#include "base/AsciiText.h"
#include "resolve/DownloadLinks.h"
#include "resolve/HiddenBrowser.h"
#include "service/ServiceContract.h"
#include "tasks/TaskListModel.h"
#include "tasks/TasksLog.h"

namespace tamsel {

namespace {

constexpr int kMaxRunning = 3;        // downloads at once; the next page waits for a place
constexpr int kRetryBound = 10;       // give an address up once retries exceed this
constexpr int kNavFallbackBound = 3;  // fall-backs to the home page in a row
constexpr const char* kAboutBlank = "about:blank";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The failures that mean "the service did not answer": HTTP client and server
// errors and the transport failures of the browser.
bool IsServiceFailureCode(int statusCode) {
    const auto code = static_cast<std::uint32_t>(statusCode);
    return (statusCode >= 400 && statusCode <= 415) || (statusCode >= 500 && statusCode <= 505) ||
           (code >= 0x800C0002u && code <= 0x800C0010u) ||
           (code >= 0x800C0014u && code <= 0x800C0016u);
}

}  // namespace

CLinkResolver::CLinkResolver(CResolverHost& host) : m_host(host) {}

CLinkResolver::~CLinkResolver() = default;

void CLinkResolver::CreateBrowser() {
    if (m_pBrowser) {
        return;
    }
    m_pBrowser = std::make_unique<CHiddenBrowser>();
    CHiddenBrowser* browser = m_pBrowser.get();
    browser->put_Silent(true);
    // The browser is the connections' context: they end with it, and the resolver owns it.
    QObject::connect(browser, &CHiddenBrowser::DocumentComplete, browser,
                     [this](const std::string& url) { OnDocumentComplete(url); });
    QObject::connect(
        browser, &CHiddenBrowser::NavigateError, browser,
        [this](const std::string& url, int statusCode) { OnNavigateError(url, statusCode); });
}

void CLinkResolver::OnTaskQueued() {
    if (m_bResolving == 0) {
        m_bResolving = 1;
        NavigateTo(ServiceBaseAddress());
    }
}

void CLinkResolver::NavigateTo(const std::string& url) {
    if (!m_pBrowser) {
        return;
    }
    if (m_pBrowser->Navigate2(url)) {
        m_nNavFallbacks = 0;
        return;
    }
    if (m_nNavFallbacks >= kNavFallbackBound) {
        // The browser cannot start anything: rest, so that the next New tries afresh.
        m_nNavFallbacks = 0;
        m_bResolving = 0;
        return;
    }
    ++m_nNavFallbacks;
    NavigateTo(ServiceBaseAddress());
}

int CLinkResolver::IsServiceUrl(const std::string& url, int bHomePage) const {
    const std::string address = TrimBlanks(url);
    if (bHomePage != 0) {
        return address == ServiceBaseAddress() ? 1 : 0;
    }
    return Contains(address, ServiceResultMarker()) ? 1 : 0;
}

void CLinkResolver::SubmitPageUrl(const std::string& pageUrl) {
    CHtmlDocument* document = m_pBrowser ? m_pBrowser->get_Document() : nullptr;
    const int forms = document != nullptr ? document->FormCount() : 0;
    if (forms == 0) {
        // Nothing to submit to: rest, so that the next New reloads the home page.
        m_bResolving = 0;
        return;
    }
    m_strSubmittedUrl = pageUrl;
    for (int i = 0; i < forms; ++i) {
        FillForm(i, pageUrl, 1);
    }
}

void CLinkResolver::FillForm(int formIndex, const std::string& value, int bSubmit) {
    CHtmlDocument* document = m_pBrowser ? m_pBrowser->get_Document() : nullptr;
    CHtmlForm* form = document != nullptr ? document->FormAt(formIndex) : nullptr;
    if (form == nullptr) {
        return;
    }
    for (int j = 0; j < form->get_length(); ++j) {
        CHtmlFormElement* element = form->item(j);
        if (element == nullptr || element->m_strTag != "input") {
            continue;
        }
        if (Contains(AsciiLower(element->m_strType), "text")) {
            element->SetValue(value);
        }
    }
    if (bSubmit != 0) {
        m_pBrowser->SubmitForm(formIndex);
    }
}

void CLinkResolver::OnDocumentComplete(const std::string& url) {
    if (IsServiceUrl(url, 1) == 1) {
        const std::string next = m_host.NextQueuedUrl();
        if (!next.empty()) {
            SubmitPageUrl(next);
        } else {
            m_bResolving = 0;  // nothing left to resolve
        }
    }
    if (IsServiceUrl(url, 0) != 1 || m_strSubmittedUrl.empty()) {
        return;
    }
    // The result page belongs to the address that was submitted, wherever the cursor
    // stands now (tasks may have been deleted while the page loaded).
    const std::string submitted = m_strSubmittedUrl;
    if (m_host.MoveQueuePast(submitted)) {
        CollectDownloadLinks(submitted);
        const int row = m_host.FindRowByUrl(submitted);
        const bool hadMedia = row >= 0 && !m_host.CellText(row, COL_FLV).empty();
        HandOffLinks();
        const bool started = row >= 0 && !hadMedia && !m_host.CellText(row, COL_FLV).empty();
        // Only a page that started a download takes a place; its end gives it back.
        if (started) {
            m_host.RaiseRunning();
        }
    }
    m_strSubmittedUrl.clear();
    ResolveNextOrDefer();
}

void CLinkResolver::OnNavigateError(const std::string& url, int statusCode) {
    if (!Contains(AsciiLower(url), AsciiLower(ServiceBaseAddress())) ||
        !IsServiceFailureCode(statusCode)) {
        return;
    }
    m_bNavError = 1;
    NavigateTo(kAboutBlank);
}

void CLinkResolver::ResolveNextOrDefer() {
    const std::string next = m_host.NextQueuedUrl();
    if (m_host.Running() >= kMaxRunning) {
        m_bDeferred = 1;
        m_bResolving = 1;
        return;
    }
    if (next.empty()) {
        m_bResolving = 0;
        return;
    }
    SubmitPageUrl(next);
}

void CLinkResolver::ResumeDeferred() {
    if (m_host.Running() >= kMaxRunning || m_bDeferred != 1) {
        return;
    }
    m_bDeferred = 0;
    const std::string next = m_host.NextQueuedUrl();
    if (next.empty()) {
        m_bResolving = 0;
        return;
    }
    SubmitPageUrl(next);
}

void CLinkResolver::RetryAfterNavError() {
    if (m_bNavError != 1) {
        return;
    }
    if (m_nNavRetries > kRetryBound) {
        const std::string current = m_host.NextQueuedUrl();
        if (!current.empty()) {
            FailResolution(m_host.FindRowByUrl(current), current,
                           "The link service kept failing; given up after " +
                               std::to_string(m_nNavRetries) + " retries.");
            m_host.SkipQueuedUrl();
        }
        m_strSubmittedUrl.clear();
        m_nNavRetries = 0;
    }
    NavigateTo(ServiceBaseAddress());
    ++m_nNavRetries;
    m_bNavError = 0;
}

void CLinkResolver::CollectDownloadLinks(const std::string& pageUrl) {
    m_foundLinks.clear();
    m_streamLinks.clear();
    const CHtmlDocument* document = m_pBrowser ? m_pBrowser->get_Document() : nullptr;
    if (document == nullptr) {
        return;
    }
    m_foundLinks = CollectDownloadLinksFrom(*document, pageUrl, ServiceBaseAddress());
    for (const CHtmlLink& link : document->m_links) {
        if (m_foundLinks.count(link.m_strHref) != 0 &&
            link.m_strTitle.rfind(kStreamLinkTitle, 0) == 0) {
            m_streamLinks.insert(link.m_strHref);
        }
    }
}

void CLinkResolver::HandOffLinks() {
    if (m_foundLinks.empty()) {
        const std::string page =
            m_strSubmittedUrl.empty() ? m_host.NextQueuedUrl() : m_strSubmittedUrl;
        if (!page.empty()) {
            FailResolution(m_host.FindRowByUrl(page), page, "The page has no video.");
        }
        return;
    }
    const std::string page = m_foundLinks.begin()->second;
    const int row = m_host.FindRowByUrl(page);
    if (row < 0) {
        return;
    }
    const int state = m_host.GetTaskState(row);
    if (!m_host.CellText(row, COL_FLV).empty() ||
        (state != TASK_DOWNLOADING && state != TASK_WAIT)) {
        return;
    }
    const auto link = std::find_if(m_foundLinks.begin(), m_foundLinks.end(),
                                   [](const auto& entry) { return !entry.first.empty(); });
    if (link == m_foundLinks.end()) {
        return;
    }
    m_host.SetCellText(row, COL_FLV, link->first);
    const std::string titleName = m_host.GetTitleFileName(page);
    if (!titleName.empty()) {
        m_host.SetCellText(row, COL_FILE_NAME, titleName);
    }
    m_host.SetTaskState(row, TASK_DOWNLOADING);
    // A link marked as a stream is downloaded as the video its playlist lists.
    m_host.StartFetcher(link->first, m_host.CellText(row, COL_FILE_NAME), m_host.TaskIdAt(row),
                        m_streamLinks.count(link->first) != 0);
}

void CLinkResolver::FailResolution(int row, const std::string& pageUrl, const std::string& reason) {
    if (row < 0) {
        return;  // its task was deleted meanwhile
    }
    // The address is quoted and escaped: it comes from the user or a hostile page.
    qCDebug(lcTasks) << "task" << m_host.TaskIdAt(row) << "for" << QString::fromStdString(pageUrl)
                     << "not resolved";
    m_host.FailTask(row, reason);
}

}  // namespace tamsel
