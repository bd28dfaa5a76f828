// Host, port and protocol text to numbers.  Numeric forms are converted
// locally; names go to the library's blocking database functions.  Every
// failure raises ESocketException with a message naming the routine.
#pragma once

#include <string>

#include <tervane/win32.h>

// IPv4 address in network byte order.
u_long WSocketResolveHost(const std::string& InAddr);
// Port in host byte order.
u_short WSocketResolvePort(const std::string& Port, const std::string& Proto);
// Protocol number (6 tcp, 17 udp).
int WSocketResolveProto(const std::string& Proto);

// Without the characters of code 32 or below at either end, as every
// address, port, protocol and SOCKS setting is taken.
std::string TrimBlanks(const std::string& s);
bool IsDottedIPv4(const std::string& S);
int ParseDecimal(const std::string& S);
inline bool IsDecimalDigit(char C) { return C >= '0' && C <= '9'; }
