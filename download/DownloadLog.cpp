#include "download/DownloadLog.h"

namespace tamsel {

Q_LOGGING_CATEGORY(lcDownload, "tamsel.download", QtWarningMsg)

}  // namespace tamsel
