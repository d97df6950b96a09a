/* Preloaded into the test archive (OrthancServer.cpp): Orthanc has no option
 * for the address it listens on and takes every interface, so each bind to
 * "any address" becomes a bind to the loopback, and no other machine can
 * reach the archive the tests start. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>

__attribute__((visibility("default"))) int bind(int fd, const struct sockaddr* address, socklen_t size) {
    static int (*real)(int, const struct sockaddr*, socklen_t);
    if (real == NULL) *(void**)&real = dlsym(RTLD_NEXT, "bind");
    if (address != NULL && address->sa_family == AF_INET && size >= sizeof(struct sockaddr_in)) {
        struct sockaddr_in loopback;
        memcpy(&loopback, address, sizeof loopback);
        if (loopback.sin_addr.s_addr == htonl(INADDR_ANY)) loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return real(fd, (const struct sockaddr*)&loopback, sizeof loopback);
    }
    if (address != NULL && address->sa_family == AF_INET6 && size >= sizeof(struct sockaddr_in6)) {
        struct sockaddr_in6 loopback;
        memcpy(&loopback, address, sizeof loopback);
        if (memcmp(&loopback.sin6_addr, &in6addr_any, sizeof in6addr_any) == 0)
            loopback.sin6_addr = in6addr_loopback;
        return real(fd, (const struct sockaddr*)&loopback, sizeof loopback);
    }
    return real(fd, address, size);
}
