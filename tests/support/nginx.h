// nginx (nginx-light) with the shipped configuration, serving a publishing folder on
// a port of its own: the other real server the updater is tested against. Linux only.
#pragma once

#include <memory>
#include <string>

#include "support/peers.h"
#include "support/temp_folder.h"

namespace kestrova::test {

enum class DebianDefaultSite { kAbsent, kBeside };

class Nginx {
 public:
  /// Serves `folder` (without a trailing separator) as server/nginx/kestrova.conf
  /// does, completion reports going to `completion_log`; with kBeside, Debian's stock
  /// site listens on the same port as the default server.
  Nginx(const std::string& folder, const std::string& completion_log,
        DebianDefaultSite debian_site = DebianDefaultSite::kAbsent);
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  std::string ErrorLog() const { return ReadFile(dir_.WithSeparator() + "error.log"); }

 private:
  static void Substitute(std::string& text, const std::string& from, const std::string& to);
  bool Listening() const;

  testing::TempFolder dir_;
  int port_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace kestrova::test
