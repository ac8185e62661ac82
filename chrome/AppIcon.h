#pragma once
// The program's icon, painted by the build into the ButtonSkin folder ("tamsel.png").

#include <QIcon>

namespace tamsel {

// The icon for windows and the About box; a null icon when the file is missing.
QIcon LoadAppIcon();

}  // namespace tamsel
