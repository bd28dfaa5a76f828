// The login benchmark's baseline: a minimal scripted telnet client on
// POSIX sockets, kept apart from the program's headers, which speak the
// WinSock dialect.
#pragma once

#include <string>

// One blocking connection to 127.0.0.1:port with TCP_NODELAY; the server's
// options get the program's fixed answers (all those of one read in one
// send), "login: " and "Password: " at the end of what has arrived get the
// user name and the password with their CR, one send each.  True once the
// password is sent; the connection is closed then.
bool ScriptedLogin(int port, const std::string& user, const std::string& password);
