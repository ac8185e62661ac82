#include "service/ServiceLog.h"

namespace tamsel {

Q_LOGGING_CATEGORY(lcService, "tamsel.service", QtWarningMsg)

}  // namespace tamsel
