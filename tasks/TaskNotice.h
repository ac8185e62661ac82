#pragma once
// What the desktop is told when a task ends while nobody watches the window: the
// words only; the view decides whether and how to show them.

#include <optional>
#include <string>

namespace tamsel {

struct TaskNotice {
    std::string summary;  // one line: finished or failed
    std::string body;     // the file name, and the reason when it failed
};

// The notice for a row entering `state`: finished and failed tasks have one, every
// other state none. `reason` is used for a failure only; empty gives a general one.
std::optional<TaskNotice> NoticeForTaskEnd(int state, const std::string& fileName,
                                           const std::string& reason);

}  // namespace tamsel
