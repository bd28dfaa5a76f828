#!/usr/bin/env bash
# The shipped socket module exports WinSock's 30 names and nothing else (no
# test seam); its test build, read the same way, does carry the hosts seam,
# so the comparison is known to see exports at all.
#   module_exports_test.sh <shipped .so> <test build .so>
set -euo pipefail
shipped=$1
test_build=$2

exports() {
  nm -D --defined-only "$1" | awk '{ print $NF }' | sed -n 's/^tvexport_//p' | LC_ALL=C sort
}

expected=$(printf '%s\n' WSAStartup WSACleanup WSASetLastError WSAGetLastError \
  WSAAsyncSelect WSAAsyncGetHostByName WSAAsyncGetHostByAddr WSACancelAsyncRequest \
  gethostbyname getservbyname getprotobyname socket connect bind listen accept send sendto \
  recv recvfrom shutdown closesocket setsockopt ioctlsocket getsockname getpeername htons ntohs \
  inet_addr inet_ntoa | LC_ALL=C sort)

# Every dynamic symbol the module defines, decorated or not.
all=$(nm -D --defined-only "$shipped" | awk '{ print $NF }' | LC_ALL=C sort)
if [ "$all" != "$(sed 's/^/tvexport_/' <<<"$expected" | LC_ALL=C sort)" ]; then
  echo "the shipped module's exports differ from WinSock's names:"
  diff <(sed 's/^/tvexport_/' <<<"$expected" | LC_ALL=C sort) <(echo "$all") || true
  exit 1
fi

seam=$(exports "$test_build" | grep -c '^TvHosts' || true)
if [ "$seam" != 2 ]; then
  echo "the test build lacks the hosts seam (TvHostsSet, TvHostsClear): the check reads nothing"
  exit 1
fi
echo "shipped module: exactly WinSock's $(wc -l <<<"$expected") names"
