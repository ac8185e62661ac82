#pragma once
// The logging category of this library: "tamsel.download". Failures are warnings and show by
// default; the rest is debug output, off unless QT_LOGGING_RULES turns it on
// (for instance QT_LOGGING_RULES="tamsel.download.debug=true").

#include <QLoggingCategory>

namespace tamsel {

Q_DECLARE_LOGGING_CATEGORY(lcDownload)

}  // namespace tamsel
