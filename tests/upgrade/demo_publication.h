// The Demo application's release as the whole-upgrade tests of both platforms publish
// it: one publishing folder, laid out as the reference server serves it, and that
// server answering at /update.
#pragma once

#include <memory>
#include <string>

#include "support/peers.h"
#include "support/temp_folder.h"

namespace kestrova::testing {

class DemoPublication {
 public:
  /// An empty `completion_log` leaves the log where the server puts it by default:
  /// beside the publishing folder.
  explicit DemoPublication(const std::string& completion_log = "");

  const std::string& BaseUrl() const { return server_->BaseUrl(); }
  /// The publishing folder, for what a test does to it beyond publishing.
  const TempFolder& Folder() const { return folder_; }

  /// Offers `version` of `date` to every updater that asks.
  void Announce(const std::string& version, const std::string& date) const;
  /// The release's description, as description.rtf or description.txt.
  void Describe(const std::string& file_name, const std::string& text) const;
  void PublishActionList(const std::string& text) const;
  /// Where release file `name` is published, its folder made.
  std::string FilePath(const std::string& name) const;

 private:
  TempFolder folder_;
  std::unique_ptr<test::ReferenceServer> server_;
};

}  // namespace kestrova::testing
