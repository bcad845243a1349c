// What every start does before it may ask a server or start the application.
#pragma once

#include <string>

#include "core/configuration.h"
#include "core/settings.h"

namespace kestrova {

/// How the preparation of a start ended.
struct TStartPreparation {
  /// The updater's configuration was found and read.
  bool configuration_loaded = false;
  /// An interrupted upgrade was finished and its new updater is being put in place by
  /// the replacement script, which starts the updater again: this run starts nothing.
  bool updater_restarts = false;
};

/// Sets app_directory, loads the configuration and finishes or undoes what an upgrade
/// that died part of the way left, before the application or a new upgrade can meet
/// it. Throws EInOutError as LoadConfiguration does.
TStartPreparation PrepareStart(TSettings& settings, const std::string& executable_path,
                               const ErrorReporter& report);

}  // namespace kestrova
