#include "tasks/TaskNotice.h"

#include "tasks/TaskListModel.h"

namespace tamsel {

std::optional<TaskNotice> NoticeForTaskEnd(int state, const std::string& fileName,
                                           const std::string& reason) {
    if (state == TASK_FINISH) {
        return TaskNotice{"Download finished", fileName};
    }
    if (state == TASK_FAILED) {
        const std::string why = reason.empty() ? "the download could not be completed" : reason;
        return TaskNotice{"Download failed", fileName + ": " + why};
    }
    return std::nullopt;
}

}  // namespace tamsel
