#include "tasks/TasksLog.h"

namespace tamsel {

Q_LOGGING_CATEGORY(lcTasks, "tamsel.tasks", QtWarningMsg)

}  // namespace tamsel
