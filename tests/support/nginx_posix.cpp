#include "support/nginx.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrova::test {
namespace {

// Debian's stock site as nginx-light ships it, for machines that lack the file.
constexpr const char* kDebianDefaultSite =
    "server {\n\tlisten 80 default_server;\n\tlisten [::]:80 default_server;\n"
    "\troot /var/www/html;\n\tindex index.html index.htm index.nginx-debian.html;\n"
    "\tserver_name _;\n\tlocation / {\n\t\ttry_files $uri $uri/ =404;\n\t}\n}\n";

}  // namespace

Nginx::Nginx(const std::string& folder, const std::string& completion_log, DebianDefaultSite debian_site)
    : port_(FreePort()) {
  const std::string listen = "listen 127.0.0.1:" + std::to_string(port_);
  std::string site = ReadFile(KESTROVA_TEST_DATA "/../../server/nginx/kestrova.conf");
  Substitute(site, "listen 80;", listen + ";");
  Substitute(site, "/srv/kestrova/publish", folder);
  Substitute(site, "/var/log/kestrova/completions.log", completion_log);
  dir_.Write("kestrova.conf", site);
  const std::string d = dir_.WithSeparator();
  std::string includes = "include " + d + "kestrova.conf;\n";
  if (debian_site == DebianDefaultSite::kBeside) {
    // Debian's nginx.conf takes conf.d/*.conf first, then sites-enabled/*.
    std::string stock = ReadFile("/etc/nginx/sites-available/default");
    if (stock.find("listen 80 default_server;") == std::string::npos) stock = kDebianDefaultSite;
    Substitute(stock, "listen 80 default_server;", listen + " default_server;");
    Substitute(stock, "listen [::]:80 default_server;", "");
    dir_.Write("default", stock);
    includes += "include " + d + "default;\n";
  }
  dir_.Write("nginx.conf", std::string(::geteuid() == 0 ? "user root;\n" : "") + "pid " + d +
                               "nginx.pid;\nerror_log " + d + "error.log;\nevents {}\nhttp {\n" +
                               "client_body_temp_path " + d + "body;\nproxy_temp_path " + d + "proxy;\n" +
                               "fastcgi_temp_path " + d + "fastcgi;\nuwsgi_temp_path " + d + "uwsgi;\n" +
                               "scgi_temp_path " + d + "scgi;\n" + includes + "}\n");
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "/usr/sbin/nginx", "-p", d, "-e", d + "error.log", "-c", d + "nginx.conf", "-g", "daemon off;"});
  for (int attempt = 0; attempt < 100 && !Listening(); ++attempt) ::usleep(50000);
}

void Nginx::Substitute(std::string& text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

bool Nginx::Listening() const {
  try {
    RawClient probe(port_);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kestrova::test
