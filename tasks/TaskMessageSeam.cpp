#include "tasks/TaskMessageSeam.h"

#include <mutex>

namespace tamsel {

namespace {
std::mutex g_handlerLock;
MessageBoxHandler g_handler;
}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(g_handlerLock);
    std::swap(g_handler, handler);
    return handler;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_handlerLock);
        handler = g_handler;
    }
    if (!handler) {
        return (style & MB_OKCANCEL) ? IDCANCEL : IDOK;
    }
    return handler(text, caption, style);
}

}  // namespace tamsel
