#pragma once
// A one-way queue from any thread to the user-interface thread: items posted from any
// thread are delivered in posting order on the thread that made the queue. Only a
// mutex-guarded deque and an eventfd are shared; no Qt object crosses threads. Once the
// queue is gone nothing more is delivered, also when a delivery destroys it.
//
// The owner keeps every posting thread from outliving the queue (joins them first).

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

class QObject;

namespace tamsel {

// The wake-up half, shared by every item type: an eventfd watched on the thread that
// made it.
class CUiWakeup {
public:
    explicit CUiWakeup(std::function<void()> onWake);
    ~CUiWakeup();
    CUiWakeup(const CUiWakeup&) = delete;
    CUiWakeup& operator=(const CUiWakeup&) = delete;

    // Any thread: makes the owning thread call onWake soon. Repeated wakes may merge.
    void Wake();
    // The owning thread, before it drains: a wake after this one calls onWake again.
    void Acknowledge();

private:
    std::function<void()> m_onWake;
    int m_wakeFd = -1;
    std::unique_ptr<QObject> m_pContext;  // the notifier's parent; lives on the owning thread
};

template <typename T>
class CUiQueue {
public:
    explicit CUiQueue(std::function<void(T)> deliver)
        : m_deliver(std::move(deliver)), m_wakeup([this] { Drain(); }) {}
    ~CUiQueue() {
        std::lock_guard lock(m_lock);
        m_bClosed = true;
        m_items.clear();
        *m_pAlive = false;
    }
    CUiQueue(const CUiQueue&) = delete;
    CUiQueue& operator=(const CUiQueue&) = delete;

    // Any thread.
    void Post(T item) {
        std::lock_guard lock(m_lock);
        if (m_bClosed) {
            return;
        }
        m_items.push_back(std::move(item));
        m_wakeup.Wake();
    }

    // The owning thread: delivers what is queued now, in order. Also runs by itself.
    void Drain() {
        m_wakeup.Acknowledge();
        const std::shared_ptr<bool> alive = m_pAlive;
        // One at a time: a delivery may run a nested event loop that drains the rest
        // itself, or destroy the queue; either way the order holds.
        for (;;) {
            T item;
            {
                std::lock_guard lock(m_lock);
                if (m_items.empty()) {
                    return;
                }
                item = std::move(m_items.front());
                m_items.pop_front();
            }
            m_deliver(std::move(item));
            if (!*alive) {
                return;
            }
        }
    }

private:
    std::function<void(T)> m_deliver;
    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);  // owning thread only
    std::mutex m_lock;
    std::deque<T> m_items;   // guarded by m_lock
    bool m_bClosed = false;  // guarded by m_lock
    CUiWakeup m_wakeup;      // last: goes first, before the items it announces
};

}  // namespace tamsel
