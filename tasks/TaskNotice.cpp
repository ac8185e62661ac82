#include "tasks/TaskNotice.h"

#include "download/FetchCodes.h"
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

std::string FetchFailureText(int code) {
    switch (code) {
        case FETCH_BAD_URL:
            return "the video address is not an http or https address";
        case FETCH_FILE_ERROR:
            return "the file could not be written";
        case FETCH_CONNECT_ERROR:
            return "the video server could not be reached";
        case FETCH_BAD_STATUS:
        case FETCH_STATUS_ERROR:
            return "the video server refused the file";
        case FETCH_TRANSFER_ERROR:
            return "the transfer broke off";
        default:
            return "the download could not be completed";
    }
}

}  // namespace tamsel
