// The question for a user name and password when a server or proxy wants them.
#pragma once

#include <string>

namespace kestrova::ui {

/// Who asks for the credentials.
enum class TCredentialsAsker { Server, Proxy };

/// Shows a small modal dialog in front of the active window that names the server or
/// proxy `host` and asks for a user name and password, starting from the values
/// given. Returns true with the typed values on OK, false on Cancel or close.
bool AskCredentials(TCredentialsAsker asker, const std::string& host, std::string& user_name,
                    std::string& password);

/// The dialog's caption and its question, the same words on every port.
std::string CredentialsCaption(TCredentialsAsker asker);
std::string CredentialsQuestion(TCredentialsAsker asker, const std::string& host);

}  // namespace kestrova::ui
