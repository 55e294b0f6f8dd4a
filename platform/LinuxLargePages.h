#pragma once

namespace selvik::platform {

// Installs the large-page hint of the processing core: on Linux, the 2 MiB
// aligned part of a hinted buffer is marked for transparent huge pages
// (madvise), which the system honours when its setting is "madvise" or
// "always" and ignores otherwise. Elsewhere it installs nothing.
void installLargePages();

}  // namespace selvik::platform
