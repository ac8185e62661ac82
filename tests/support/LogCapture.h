#pragma once
// Collects the warnings one logging category writes while it lives, from any thread,
// by installing a Qt message handler. One capture at a time.

#include <QLoggingCategory>
#include <QString>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class LogCapture {
public:
    explicit LogCapture(std::string category) : m_category(std::move(category)) {
        Instance() = this;
        m_previous = qInstallMessageHandler(&Handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        Instance() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Warnings() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_warnings;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_warnings.clear();
    }

private:
    static LogCapture*& Instance() {
        static LogCapture* instance = nullptr;
        return instance;
    }
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        LogCapture* self = Instance();
        if (self == nullptr || type != QtWarningMsg || context.category == nullptr ||
            self->m_category != context.category) {
            return;
        }
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_warnings.push_back(text.toStdString());
    }

    const std::string m_category;
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_lock;
    std::vector<std::string> m_warnings;
};

}  // namespace testsupport
