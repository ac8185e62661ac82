#pragma once
// A browser nobody sees: loads pages over HTTP on a worker thread of its own, keeps
// cookies for the run, builds a CHtmlDocument of each page and submits its forms.
// It lives on the user-interface thread and reports there, through two signals.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/UiQueue.h"
#include "resolve/HtmlDocument.h"

namespace tamsel {

class CHiddenBrowser : public QObject {
    Q_OBJECT
public:
    explicit CHiddenBrowser(QObject* parent = nullptr);
    // Cancels a page still loading and joins the worker; no signal comes afterwards.
    ~CHiddenBrowser() override;
    CHiddenBrowser(const CHiddenBrowser&) = delete;
    CHiddenBrowser& operator=(const CHiddenBrowser&) = delete;

    // Starts loading an address. A navigation still loading is cancelled: its events
    // never arrive. Addresses that cannot be loaded still start and end in
    // NavigateError; false only when nothing can be started (empty address).
    bool Navigate2(const std::string& url);
    // Submits form formIndex of the current document as it stands (values set through
    // get_Document() count). False when there is no such form.
    bool SubmitForm(int formIndex);
    // The browser never shows dialogs; kept for callers written against one that can.
    void put_Silent(bool silent) { m_bSilent = silent; }
    bool get_Silent() const { return m_bSilent; }
    // The current document: the last page that completed; null before the first.
    CHtmlDocument* get_Document() { return m_document.get(); }
    // True while a navigation has started and not yet reported.
    bool get_Busy() const { return m_bBusy; }

    // Limits of one page load; the defaults are a browser's, tests shorten them.
    void SetTimeouts(long connectMs, long totalMs);
    void SetPageSizeLimit(std::uint64_t bytes) { m_nPageLimit.store(bytes); }

Q_SIGNALS:
    // The page at url (the final address after redirects) has loaded.
    void DocumentComplete(std::string url);
    // Loading url failed: the HTTP status (400 and above) or an INET_E_ code.
    void NavigateError(std::string url, int statusCode);

private:
    struct Request {
        std::uint64_t serial = 0;
        std::string url;
        bool post = false;
        std::string body;
        std::string contentType;
        std::string referer;
    };
    struct Outcome;
    struct Delivery {
        std::uint64_t serial = 0;
        std::shared_ptr<CHtmlDocument> document;
        std::string url;
        int errorCode = 0;
    };

    bool Start(Request request);
    void WorkerLoop();
    Outcome Load(const Request& request);
    bool IsCancelled(std::uint64_t serial) const;
    void Deliver(std::uint64_t serial, std::shared_ptr<CHtmlDocument> document,
                 const std::string& url, int errorCode);
    // Hands one finished load to the user-interface thread's listeners.
    void Announce(Delivery delivery);

    bool m_bSilent = false;
    bool m_bBusy = false;
    std::shared_ptr<CHtmlDocument> m_document;

    std::atomic<long> m_nConnectTimeoutMs{30000};
    std::atomic<long> m_nTotalTimeoutMs{60000};
    std::atomic<std::uint64_t> m_nPageLimit{8u * 1024u * 1024u};

    // The serial of the newest navigation; a load whose serial differs is stale.
    std::atomic<std::uint64_t> m_nSerial{0};
    std::atomic<bool> m_bQuit{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<Request> m_pending;  // guarded by m_lock
    // Finished loads on their way to the user-interface thread.
    CUiQueue<Delivery> m_deliveries{[this](Delivery delivery) { Announce(std::move(delivery)); }};

    void* m_multi = nullptr;  // CURLM*, woken from this thread to cancel promptly
    void* m_easy = nullptr;   // CURL*, reused so cookies and connections live for the run
    std::thread m_worker;
};

}  // namespace tamsel
