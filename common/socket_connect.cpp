/* Socket layer: outgoing connections and numeric addresses. */
#include "socket_internal.h"

#include <ctype.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#define ADDR_NONE ((uint32_t)-1)

/* Reads the whole text as one hexadecimal number after its "0x" (at most 10 characters). */
static uint32_t hex_addr(const char *text) {
    if (strlen(text) > 10 || !isxdigit((unsigned char)text[2]))
        return ADDR_NONE;
    char *end;
    unsigned long v = strtoul(text + 2, &end, 16);
    if (*end != '\0')
        return ADDR_NONE;
    return htonl((uint32_t)v);
}

/* Reads a.b.c.d: four decimal parts 0..255, each but the last followed by a point. */
static uint32_t dotted_addr(const char *text) {
    uint32_t addr = 0;
    const char *p = text;
    for (int part = 0; part < 4; part++) {
        if (!isdigit((unsigned char)*p))
            return ADDR_NONE;
        char *end;
        unsigned long v = strtoul(p, &end, 10);
        if (v > 255 || end - p > 3)
            return ADDR_NONE;
        addr = (addr << 8) | (uint32_t)v;
        if (part < 3 && *end != '.')
            return ADDR_NONE;
        if (part == 3 && *end != '\0')
            return ADDR_NONE;
        p = end + 1;
    }
    return htonl(addr);
}

uint32_t convertaddr(const char *text) {
    if (!text)
        return ADDR_NONE;
    if (text[0] == '0' && text[1] == 'x')
        return hex_addr(text);
    return dotted_addr(text);
}

/* The host entry of machine_name: by name, else by reverse lookup of its numeric form. */
static struct hostent *find_host(const char *machine_name) {
    struct hostent *hp = gethostbyname(machine_name);
    if (hp)
        return hp;
    fprintf(stderr, "Error finding host entry for %s (%d)\n", machine_name, h_errno);
    uint32_t addr = convertaddr(machine_name);
    if (addr != ADDR_NONE)
        hp = gethostbyaddr(&addr, 4, AF_INET);
    if (!hp)
        fprintf(stderr, "Error finding host entry for %s (%d)\n", machine_name, h_errno);
    return hp;
}

/* Opens a blocking stream socket and connects it; on success the record is linked (state
 * connecting, confirmed by a later cycle) and the descriptor returned. */
static int connect_to(int family, const struct sockaddr *addr, socklen_t len,
                      SOCK_read_callback read_func, SOCK_write_callback write_func,
                      SOCK_status_callback status_func) {
    struct socket *sp = sock_new(read_func, write_func, status_func);
    if (!sp)
        return -1;
    sp->conn_count = 1;
    sp->status = SOCK_CONNECTING;
    int fd = socket(family, SOCK_STREAM, 0);
    if (fd < 0 || sock_fd_out_of_range(fd)) {
        free(sp);
        return -1;
    }
    /* An interrupted blocking connect goes on in the background, like one in progress. */
    if (connect(fd, addr, len) < 0 && errno != EINPROGRESS && errno != EINTR) {
        close(fd);
        free(sp);
        return -1;
    }
    sp->fd = fd;
    sock_link(sp);
    return fd;
}

int SOCK_Connect(const char *machine_name, unsigned short remote_port, SOCK_read_callback read_func,
                 SOCK_write_callback write_func, SOCK_status_callback status_func) {
    if (!machine_name || !read_func)
        return -1;
    struct hostent *hp = find_host(machine_name);
    if (!hp || hp->h_addrtype != AF_INET || !hp->h_addr_list[0])
        return -1;
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    memcpy(&addr.sin_addr, hp->h_addr_list[0], sizeof addr.sin_addr);
    addr.sin_port = htons(remote_port);
    return connect_to(AF_INET, (struct sockaddr *)&addr, sizeof addr, read_func, write_func,
                      status_func);
}

int SOCK_UnixConnect(const char *pathname, SOCK_read_callback read_func,
                     SOCK_write_callback write_func, SOCK_status_callback status_func) {
    struct sockaddr_un addr;
    if (!pathname || strlen(pathname) >= sizeof addr.sun_path)
        return -1;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, pathname);
    socklen_t len = (socklen_t)(strlen(pathname) + 2);
    return connect_to(AF_UNIX, (struct sockaddr *)&addr, len, read_func, write_func, status_func);
}
