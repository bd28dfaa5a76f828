// Host, port and protocol resolution and the error description table,
// through the real socket module and the system's databases.
#include "services_helpers.h"
#include "socket_fixture.h"

namespace {

using sockettest::MessageOf;

u_long Dotted(unsigned a, unsigned b, unsigned c, unsigned d) {
  return htonl((a << 24) | (b << 16) | (c << 8) | d);
}

TEST(IsDottedIPv4, AcceptsFourRunsWithBlanksAroundOnly) {
  for (const char* yes : {"1.2.3.4", "  1.2.3.4  ", "255.255.255.255", "010.0.0.1"})
    EXPECT_TRUE(IsDottedIPv4(yes)) << yes;
  for (const char* no : {"", " ", ".1.2.3", "1..2.3", "1.2.3.", "1.2.3.4.5", "1.2.3.4 x",
                         "1.2.3", "1.2.3.256", "256.1.1.1", "1.2.3.4x", "a.b.c.d",
                         "1.2.3.99999999999999999999"})
    EXPECT_FALSE(IsDottedIPv4(no)) << no;
}

TEST(ParseDecimal, StopsAtFirstNonDigitAndWrapsSilently) {
  EXPECT_EQ(ParseDecimal("  42abc"), 42);
  EXPECT_EQ(ParseDecimal("x1"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("4294967297"), 1);  // 32-bit wrap, no trap
}

TEST(ResolveHost, DottedTextIsConvertedLocally) {
  EXPECT_EQ(WSocketResolveHost("127.1.1.1"), Dotted(127, 1, 1, 1));
  EXPECT_EQ(WSocketResolveHost(" 127.1.1.1 "), Dotted(127, 1, 1, 1));
  EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(WSocketResolveHost("localhost"), Dotted(127, 0, 0, 1));
}

TEST(ResolveHost, TextsThatAreNotDottedGoToTheNameLookup) {
  // The module's test hosts table answers names without a name server.
  servicestest::HostsSeam Hosts;
  WSocketResolveProto("tcp");  // binds the library, which holds the hosts table
  Hosts.Set("1.2.3", "127.1.2.3");
  Hosts.Set("1.2.3.256", "");
  Hosts.Set("multi.test", "127.0.0.7,127.0.0.8");
  EXPECT_EQ(WSocketResolveHost("1.2.3"), Dotted(127, 1, 2, 3));
  EXPECT_EQ(WSocketResolveHost(" multi.test "), Dotted(127, 0, 0, 7));  // the first address
  std::string m = MessageOf([] { WSocketResolveHost("1.2.3.256"); });
  EXPECT_EQ(m, "WSocketResolveHost: Cannot convert host address '1.2.3.256', Error #11001");
}

TEST(ResolveHost, RefusalsNameTheText) {
  EXPECT_EQ(MessageOf([] { WSocketResolveHost(""); }),
            "WSocketResolveHost: '' Invalid Hostname.");
  std::string longName(257, 'a');
  EXPECT_EQ(MessageOf([&] { WSocketResolveHost(longName); }),
            "WSocketResolveHost: '" + longName + "' Invalid Hostname.");
}

TEST(ResolvePort, NumbersLocallyNamesThroughServiceDatabase) {
  EXPECT_EQ(WSocketResolvePort("23", "tcp"), 23);
  EXPECT_EQ(WSocketResolvePort("65536", "tcp"), 0);
  EXPECT_EQ(WSocketResolvePort("8080abc", "tcp"), 8080);
  EXPECT_EQ(WSocketResolvePort("telnet", "tcp"), 23);
  EXPECT_EQ(WSocketResolvePort(" telnet ", " tcp "), 23);
  EXPECT_EQ(MessageOf([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(MessageOf([] { WSocketResolvePort(std::string(32, '1'), "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(MessageOf([] { WSocketResolvePort("23", ""); }), "WSocketResolvePort: Invalid Proto.");
  // A leading blank makes it a service name; the message quotes the blank.
  std::string m = MessageOf([] { WSocketResolvePort(" 23", "tcp"); });
  EXPECT_EQ(m.rfind("WSocketResolvePort: Cannot convert port ' 23', Error #", 0), 0u) << m;
}

TEST(ResolveProto, NamesAndNumbersAndBlanksOnly) {
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto("udp"), 17);
  EXPECT_EQ(WSocketResolveProto(" 17 "), 17);
  EXPECT_EQ(MessageOf([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(MessageOf([] { WSocketResolveProto(std::string(32, 't')); }),
            "WSocketResolveProto: Invalid Protocol.");
  // Blanks only: refused, not read past.
  EXPECT_EQ(MessageOf([] { WSocketResolveProto("     "); }),
            "WSocketResolveProto: Invalid Protocol.");
  std::string m = MessageOf([] { WSocketResolveProto(" nosuchproto "); });
  EXPECT_EQ(m.rfind("WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0), 0u)
      << m;
}

TEST(SocketErrorDescription, TableEdges) {
  EXPECT_EQ(SocketErrorDescription(0), "No Error");
  EXPECT_EQ(SocketErrorDescription(10057), "Not connected. Check Configuration !");
  EXPECT_EQ(SocketErrorDescription(10054), "Connection reset by peer");
  EXPECT_EQ(SocketErrorDescription(11004), "No Data");
  EXPECT_EQ(SocketErrorDescription(10093), "WinSock not initialized");
  for (int code : {1, -1, 10010, 10011, 10012, 10072, 10090, 11000, 11005})
    EXPECT_EQ(SocketErrorDescription(code), "Not a WinSock error") << code;
}

}  // namespace
