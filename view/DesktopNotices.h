#pragma once
// Desktop notifications through the freedesktop notification service on the
// session bus.

#include "tasks/TaskNotice.h"

namespace tamsel {

// Sends the notice without waiting for an answer; without a session bus or a
// notification service it is dropped and nothing else changes.
void SendDesktopNotice(const TaskNotice& notice);

}  // namespace tamsel
