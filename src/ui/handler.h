// Running the forms' event handlers from the toolkit's event dispatch.
#pragma once

#include <functional>

namespace kestrova::ui {

/// Runs an event handler of a form. An exception that escapes it must not unwind
/// through the toolkit's event dispatch, which cannot carry it: it ends here, reported
/// to the user by the standard error report. Returns whether the handler ran to its end.
bool RunHandler(const std::function<void()>& handler);

}  // namespace kestrova::ui
