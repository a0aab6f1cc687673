// Preloaded into printer servers that can only listen on every address (lprint 1.1
// has no such option): a wildcard bind becomes a loopback bind, so the sandbox's
// printers are never reachable from the network.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

typedef int (*bind_fn)(int, const struct sockaddr *, socklen_t);

int bind(int fd, const struct sockaddr *addr, socklen_t len) {
  static bind_fn real_bind;
  if (!real_bind) real_bind = (bind_fn)dlsym(RTLD_NEXT, "bind");
  if (addr && addr->sa_family == AF_INET && len >= sizeof(struct sockaddr_in)) {
    struct sockaddr_in in;
    memcpy(&in, addr, sizeof in);
    if (in.sin_addr.s_addr == htonl(INADDR_ANY)) {
      in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      return real_bind(fd, (const struct sockaddr *)&in, sizeof in);
    }
  } else if (addr && addr->sa_family == AF_INET6 && len >= sizeof(struct sockaddr_in6)) {
    struct sockaddr_in6 in6;
    memcpy(&in6, addr, sizeof in6);
    if (IN6_IS_ADDR_UNSPECIFIED(&in6.sin6_addr)) {
      in6.sin6_addr = in6addr_loopback;
      return real_bind(fd, (const struct sockaddr *)&in6, sizeof in6);
    }
  }
  return real_bind(fd, addr, len);
}
