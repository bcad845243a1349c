// Mouse cursors of controls and of the whole program.
#pragma once

#include <windows.h>

#include "ui/types.h"

namespace kestrova::ui {

class NativeControl;

/// Sets the cursor for the mouse over `control`: the program's screen cursor when
/// one is set, else the control's own. Returns false when neither is set and the
/// window's class cursor should show.
bool ApplyCursorFor(const NativeControl* control);

/// The system's cursor of that kind; the arrow for Default.
HCURSOR SystemCursor(TCursor cursor);

}  // namespace kestrova::ui
