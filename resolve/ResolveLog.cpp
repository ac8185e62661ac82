#include "resolve/ResolveLog.h"

namespace tamsel {

Q_LOGGING_CATEGORY(lcResolve, "tamsel.resolve", QtWarningMsg)

}  // namespace tamsel
