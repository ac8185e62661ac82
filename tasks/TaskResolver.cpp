// The resolver: drives the hidden browser through the extraction service one page
// address at a time, reads the "Download" links of each result page and hands the
// first of them to its task. Everything here runs on the user-interface thread.

#include <QObject>
#include <algorithm>
#include <cctype>
#include <cstdint>

#include "base/AsciiText.h"
#include "resolve/DownloadLinks.h"
#include "resolve/HiddenBrowser.h"
#include "service/ServiceContract.h"
#include "tasks/TaskTable.h"

namespace tamsel {

namespace {

constexpr int kPacingBound = 3;       // submit while m_nRunning is at most this
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

void CTaskTable::CreateBrowser() {
    if (m_wndBrowser) {
        return;
    }
    m_wndBrowser = std::make_unique<CHiddenBrowser>();
    m_pBrowser = m_wndBrowser.get();
    m_pBrowser->put_Silent(true);
    // The browser is the connections' context: they end with it, and the table owns it.
    QObject::connect(m_pBrowser, &CHiddenBrowser::DocumentComplete, m_pBrowser,
                     [this](const std::string& url) { OnDocumentComplete(url); });
    QObject::connect(
        m_pBrowser, &CHiddenBrowser::NavigateError, m_pBrowser,
        [this](const std::string& url, int statusCode) { OnNavigateError(url, statusCode); });
}

void CTaskTable::NavigateTo(const std::string& url) {
    if (m_pBrowser == nullptr) {
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

int CTaskTable::IsServiceUrl(const std::string& url, int bHomePage) const {
    const std::string address = TrimBlanks(url);
    if (bHomePage != 0) {
        return address == ServiceBaseAddress() ? 1 : 0;
    }
    return Contains(address, ServiceResultMarker()) ? 1 : 0;
}

void CTaskTable::SubmitPageUrl(const std::string& pageUrl) {
    CHtmlDocument* document = m_pBrowser != nullptr ? m_pBrowser->get_Document() : nullptr;
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

void CTaskTable::FillForm(int formIndex, const std::string& value, int bSubmit) {
    CHtmlDocument* document = m_pBrowser != nullptr ? m_pBrowser->get_Document() : nullptr;
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

void CTaskTable::OnDocumentComplete(const std::string& url) {
    if (IsServiceUrl(url, 1) == 1) {
        const std::string next = NextQueuedUrl();
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
    const auto queued = std::find(m_urlQueue.begin(), m_urlQueue.end(), submitted);
    if (queued != m_urlQueue.end()) {
        m_nQueuePos = static_cast<int>(queued - m_urlQueue.begin()) + 1;
        CollectDownloadLinks(submitted);
        const int row = FindRowByUrl(submitted);
        const bool hadMedia = row >= 0 && !TaskModel().GetItemText(row, COL_FLV).empty();
        HandOffLinks();
        const bool started =
            row >= 0 && !hadMedia && !TaskModel().GetItemText(row, COL_FLV).empty();
        // Only a page that started a download takes a place; its end gives it back.
        if (started) {
            ++m_nRunning;
        }
    }
    m_strSubmittedUrl.clear();
    ResolveNextOrDefer();
}

void CTaskTable::OnNavigateError(const std::string& url, int statusCode) {
    if (!Contains(AsciiLower(url), AsciiLower(ServiceBaseAddress())) ||
        !IsServiceFailureCode(statusCode)) {
        return;
    }
    m_bNavError = 1;
    NavigateTo(kAboutBlank);
}

void CTaskTable::ResolveNextOrDefer() {
    const std::string next = NextQueuedUrl();
    if (m_nRunning > kPacingBound) {
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

void CTaskTable::ResumeDeferred() {
    if (m_nRunning > kPacingBound || m_bDeferred != 1) {
        return;
    }
    m_bDeferred = 0;
    const std::string next = NextQueuedUrl();
    if (next.empty()) {
        m_bResolving = 0;
        return;
    }
    SubmitPageUrl(next);
}

void CTaskTable::RetryAfterNavError() {
    if (m_bNavError != 1) {
        return;
    }
    if (m_nNavRetries > kRetryBound) {
        const std::string current = NextQueuedUrl();
        if (!current.empty()) {
            const int row = FindRowByUrl(current);
            if (row >= 0) {
                SetTaskState(row, TASK_FAILED);
                RepaintList();
            }
            ++m_nQueuePos;
        }
        m_strSubmittedUrl.clear();
        m_nNavRetries = 0;
    }
    NavigateTo(ServiceBaseAddress());
    ++m_nNavRetries;
    m_bNavError = 0;
}

void CTaskTable::CollectDownloadLinks(const std::string& pageUrl) {
    m_foundLinks.clear();
    const CHtmlDocument* document = m_pBrowser != nullptr ? m_pBrowser->get_Document() : nullptr;
    if (document == nullptr) {
        return;
    }
    m_foundLinks = CollectDownloadLinksFrom(*document, pageUrl, ServiceBaseAddress());
}

void CTaskTable::HandOffLinks() {
    if (m_foundLinks.empty()) {
        const std::string page = m_strSubmittedUrl.empty() ? NextQueuedUrl() : m_strSubmittedUrl;
        const int row = page.empty() ? -1 : FindRowByUrl(page);
        if (row >= 0) {
            SetTaskState(row, TASK_FAILED);
            RepaintList();
        }
        return;
    }
    const std::string page = m_foundLinks.begin()->second;
    const int row = FindRowByUrl(page);
    if (row < 0) {
        return;
    }
    const int state = GetTaskState(row);
    if (!TaskModel().GetItemText(row, COL_FLV).empty() ||
        (state != TASK_DOWNLOADING && state != TASK_WAIT)) {
        return;
    }
    const auto link = std::find_if(m_foundLinks.begin(), m_foundLinks.end(),
                                   [](const auto& entry) { return !entry.first.empty(); });
    if (link == m_foundLinks.end()) {
        return;
    }
    TaskModel().SetItemText(row, COL_FLV, link->first);
    const std::string titleName = GetTitleFileName(page);
    if (!titleName.empty()) {
        TaskModel().SetItemText(row, COL_FILE_NAME, titleName);
    }
    SetTaskState(row, TASK_DOWNLOADING);
    const int taskId = TaskModel().GetItemData(row);
    StartFetcher(link->first, TaskModel().GetItemText(row, COL_FILE_NAME), taskId);
}

}  // namespace tamsel
