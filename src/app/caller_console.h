// Where the few texts the updater prints go.
#pragma once

namespace kestrova {

/// Sends standard output to the console of whoever started the updater, where the
/// system gives a windowed program none of its own; output already redirected to a
/// file or pipe stays there.
void UseCallersConsole();

}  // namespace kestrova
