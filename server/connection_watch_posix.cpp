#include <sys/socket.h>

#include "connection_watch.h"

namespace kestrova::server {

void ShutDownSocket(int socket) { ::shutdown(socket, SHUT_RDWR); }

}  // namespace kestrova::server
