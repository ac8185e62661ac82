#pragma once
// The logging category of this library: "tamsel.resolve". Failures are warnings and show by
// default; the rest is debug output, off unless QT_LOGGING_RULES turns it on
// (for instance QT_LOGGING_RULES="tamsel.resolve.debug=true").

#include <QLoggingCategory>

namespace tamsel {

Q_DECLARE_LOGGING_CATEGORY(lcResolve)

}  // namespace tamsel
