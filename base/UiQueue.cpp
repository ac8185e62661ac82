#include "base/UiQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>

namespace tamsel {

CUiWakeup::CUiWakeup(std::function<void()> onWake)
    : m_onWake(std::move(onWake)),
      m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_pContext(std::make_unique<QObject>()) {
    if (m_wakeFd >= 0) {
        auto* notifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, m_pContext.get());
        QObject::connect(notifier, &QSocketNotifier::activated, m_pContext.get(),
                         [this] { m_onWake(); });
    }
}

CUiWakeup::~CUiWakeup() {
    m_pContext.reset();  // the notifier first, then its descriptor
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
}

void CUiWakeup::Wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        // The counter only wakes the thread; a full counter still wakes it.
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
        return;
    }
    // Without an eventfd a queued call wakes the thread; Qt drops it once the context
    // is gone.
    QMetaObject::invokeMethod(
        m_pContext.get(), [this] { m_onWake(); }, Qt::QueuedConnection);
}

void CUiWakeup::Acknowledge() {
    if (m_wakeFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
    }
}

}  // namespace tamsel
