#pragma once

#include <QtGlobal>

namespace stelvo::test {

// A TCP socket listening on a free loopback port, for the tests' stand-in
// servers. Returns the socket, with `port` set, or -1 when none can be made.
int listenOnLoopback(quint16* port);

} // namespace stelvo::test
