#pragma once

namespace tamsel {

// The widgets' side of the message-box seam (tasks/TaskMessageSeam.h).

// Installs the handler that shows a real QMessageBox: the caption, OK or OK and
// Cancel, the question or information icon, parented to the active window; it
// answers IDOK or IDCANCEL. A call from another thread is carried out on the
// user-interface thread and waits for the answer.
void InstallWidgetMessageBoxes();

}  // namespace tamsel
