#pragma once

namespace tamsel {

// libcurl needs one global initialisation per process, before any second thread
// uses it. Everything that creates curl handles calls this first; it is cheap after
// the first call.

void EnsureCurlGlobalInit();

}  // namespace tamsel
