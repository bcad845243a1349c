#include "ui/credentials_dialog.h"

namespace kestrova::ui {

std::string CredentialsCaption(TCredentialsAsker asker) {
  return asker == TCredentialsAsker::Proxy ? "Proxy authentication" : "Server authentication";
}

std::string CredentialsQuestion(TCredentialsAsker asker, const std::string& host) {
  std::string text = asker == TCredentialsAsker::Proxy ? "The proxy" : "The server";
  if (!host.empty()) text += " " + host;
  return text + " asks for a user name and password.";
}

}  // namespace kestrova::ui
