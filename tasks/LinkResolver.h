#pragma once
// The link resolver: drives the hidden browser through the extraction service one page
// address at a time, reads the "Download" links of each result page and hands the first
// of them to its task. It sees the task table only through CResolverHost. Everything
// here runs on the user-interface thread; the frame's timers pace the retries and the
// deferred submissions.

#include <map>
#include <memory>
#include <set>
#include <string>

#include "tasks/ResolverHost.h"

namespace tamsel {

class CHiddenBrowser;

class CLinkResolver {
public:
    explicit CLinkResolver(CResolverHost& host);
    // Cancels a page still loading; no browser event reaches the resolver afterwards.
    ~CLinkResolver();
    CLinkResolver(const CLinkResolver&) = delete;
    CLinkResolver& operator=(const CLinkResolver&) = delete;

    void CreateBrowser();
    void NavigateTo(const std::string& url);
    int IsServiceUrl(const std::string& url, int bHomePage) const;
    void SubmitPageUrl(const std::string& pageUrl);
    void FillForm(int formIndex, const std::string& value, int bSubmit);
    void OnDocumentComplete(const std::string& url);
    void OnNavigateError(const std::string& url, int statusCode);
    void ResolveNextOrDefer();
    void ResumeDeferred();
    void RetryAfterNavError();
    void CollectDownloadLinks(const std::string& pageUrl);
    void HandOffLinks();
    // A task was queued: starts from the service's home page unless already resolving.
    void OnTaskQueued();

    // Read-only state.
    bool IsResolving() const { return m_bResolving != 0; }
    bool IsDeferred() const { return m_bDeferred != 0; }
    bool HasNavError() const { return m_bNavError != 0; }
    int NavRetries() const { return m_nNavRetries; }
    int NavFallbacks() const { return m_nNavFallbacks; }
    const std::string& SubmittedUrl() const { return m_strSubmittedUrl; }
    const std::map<std::string, std::string>& FoundLinks() const { return m_foundLinks; }
    // The hidden browser; null before CreateBrowser.
    CHiddenBrowser* Browser() const { return m_pBrowser.get(); }

private:
    // Marks the task of pageUrl failed and says why, once.
    void FailResolution(int row, const std::string& pageUrl, const std::string& reason);

    CResolverHost& m_host;
    std::unique_ptr<CHiddenBrowser> m_pBrowser;
    // Media address -> the page address it was found for.
    std::map<std::string, std::string> m_foundLinks;
    // Those of m_foundLinks the result page marks as streams (HLS, DASH).
    std::set<std::string> m_streamLinks;
    // The page address submitted last; its result page is credited to it.
    std::string m_strSubmittedUrl;
    int m_bResolving = 0;
    int m_bDeferred = 0;
    int m_bNavError = 0;
    int m_nNavRetries = 0;
    // Bounds NavigateTo's fall-back to the base address.
    int m_nNavFallbacks = 0;
};

}  // namespace tamsel
