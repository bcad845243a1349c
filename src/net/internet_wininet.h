// What the WinInet port of the internet seam offers beyond the portable interface.
#pragma once

namespace kestrova {

/// The window (an HWND) that the system's password dialog belongs to when a download
/// is refused for want of credentials and its caller has no prompt of its own; null
/// (the default) asks nobody.
void SetCredentialDialogOwner(void* window);

}  // namespace kestrova
