/* trapcount: the benchmark's trap receiver. It binds one UDP socket (normally
 * 127.0.0.1:162), counts every datagram and decodes each as an SNMPv1 trap of
 * the UPS test. On SIGUSR1 it drains the socket, writes its counters to the
 * stats file (written beside it and renamed into place) and starts counting
 * afresh; SIGTERM or SIGINT end it.
 *
 * A trap counts as "ok" when it is a v1 Trap-PDU with enterprise
 * 1.3.6.1.4.1.32473.1.22.2, generic 6, specific 1 and eleven varbinds
 * 1.3.6.1.4.1.32473.1.22.1.N.0 in order; as "allclear" when, in addition,
 * poll status, UPS status and the four object statuses are all 1; as
 * "noanswer" when poll status is 4 (no answer) and every other status 0. The node
 * name (varbind 1) "UPS<k>" marks k as seen, so lost and doubled traps of a
 * batch of runs named UPS1..UPSn can be told apart.
 *
 * usage: trapcount ADDRESS PORT STATSFILE
 */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#define MAX_NAMES 65536

static volatile sig_atomic_t dump_requested;
static volatile sig_atomic_t stop_requested;

static void on_usr1(int sig) {
  (void)sig;
  dump_requested = 1;
}
static void on_term(int sig) {
  (void)sig;
  stop_requested = 1;
}

struct counters {
  unsigned long datagrams, bytes, ok, allclear, noanswer, malformed, names, duplicates, unnamed;
  long last_values[4];
  unsigned char seen[MAX_NAMES];
};
static struct counters c;

/* One BER element at *off within [0, n): tag, value start and length. */
static int tlv(const uint8_t *p, size_t n, size_t *off, uint8_t *tag, const uint8_t **val,
               size_t *len) {
  size_t o = *off;
  if (o >= n) return -1;
  *tag = p[o++];
  if (o >= n) return -1;
  size_t l = p[o++];
  if (l & 0x80) {
    size_t k = l & 0x7f;
    if (k == 0 || k > 4) return -1;
    l = 0;
    while (k--) {
      if (o >= n) return -1;
      l = (l << 8) | p[o++];
    }
  }
  if (l > n - o) return -1;
  *val = p + o;
  *len = l;
  *off = o + l;
  return 0;
}

static int int_value(const uint8_t *v, size_t len, long *out) {
  if (len == 0 || len > 8) return -1;
  int64_t x = (v[0] & 0x80) ? -1 : 0;
  for (size_t i = 0; i < len; i++) x = (int64_t)((uint64_t)x << 8) | v[i];
  *out = (long)x;
  return 0;
}

/* Dotted text of an OID value; -1 when it does not fit or is malformed. */
static int oid_text(const uint8_t *v, size_t len, char *out, size_t cap) {
  size_t w = 0;
  uint64_t sub = 0;
  int first = 1;
  if (len == 0) return -1;
  for (size_t i = 0; i < len; i++) {
    sub = (sub << 7) | (v[i] & 0x7f);
    if (sub > 0xffffffffu) return -1;
    if (v[i] & 0x80) continue;
    int k;
    if (first) {
      unsigned a = sub < 80 ? (unsigned)(sub / 40) : 2;
      k = snprintf(out + w, cap - w, "%u.%lu", a, (unsigned long)(sub - 40 * a));
      first = 0;
    } else {
      k = snprintf(out + w, cap - w, ".%lu", (unsigned long)sub);
    }
    if (k < 0 || (size_t)k >= cap - w) return -1;
    w += (size_t)k;
    sub = 0;
  }
  return (v[len - 1] & 0x80) ? -1 : 0;
}

static int seq_in(const uint8_t *p, size_t n, size_t *off, uint8_t want, const uint8_t **val,
                  size_t *len) {
  uint8_t tag;
  if (tlv(p, n, off, &tag, val, len) != 0 || tag != want) return -1;
  return 0;
}

static void take(const uint8_t *p, size_t n) {
  const uint8_t *msg, *v, *pdu, *vbl, *vb;
  size_t msg_len, len, pdu_len, vbl_len, vb_len, off = 0;
  uint8_t tag;
  char oid[160];
  long x, status[6] = {0}, values[4] = {0};
  long name_index = -1;

  c.datagrams++;
  c.bytes += n;
  if (seq_in(p, n, &off, 0x30, &msg, &msg_len) != 0) goto bad;
  off = 0;
  if (seq_in(msg, msg_len, &off, 0x02, &v, &len) != 0 || int_value(v, len, &x) != 0 || x != 0)
    goto bad; /* version 1 */
  if (seq_in(msg, msg_len, &off, 0x04, &v, &len) != 0) goto bad; /* community */
  if (seq_in(msg, msg_len, &off, 0xa4, &pdu, &pdu_len) != 0) goto bad;
  off = 0;
  if (seq_in(pdu, pdu_len, &off, 0x06, &v, &len) != 0 || oid_text(v, len, oid, sizeof oid) != 0 ||
      strcmp(oid, "1.3.6.1.4.1.32473.1.22.2") != 0)
    goto bad;
  if (seq_in(pdu, pdu_len, &off, 0x40, &v, &len) != 0 || len != 4) goto bad; /* agent-addr */
  if (seq_in(pdu, pdu_len, &off, 0x02, &v, &len) != 0 || int_value(v, len, &x) != 0 || x != 6)
    goto bad;
  if (seq_in(pdu, pdu_len, &off, 0x02, &v, &len) != 0 || int_value(v, len, &x) != 0 || x != 1)
    goto bad;
  if (seq_in(pdu, pdu_len, &off, 0x43, &v, &len) != 0) goto bad; /* time-stamp */
  if (seq_in(pdu, pdu_len, &off, 0x30, &vbl, &vbl_len) != 0) goto bad;
  size_t voff = 0;
  for (int k = 1; k <= 11; k++) {
    size_t boff = 0;
    char want[64];
    if (seq_in(vbl, vbl_len, &voff, 0x30, &vb, &vb_len) != 0) goto bad;
    if (seq_in(vb, vb_len, &boff, 0x06, &v, &len) != 0 || oid_text(v, len, oid, sizeof oid) != 0)
      goto bad;
    snprintf(want, sizeof want, "1.3.6.1.4.1.32473.1.22.1.%d.0", k);
    if (strcmp(oid, want) != 0) goto bad;
    if (tlv(vb, vb_len, &boff, &tag, &v, &len) != 0) goto bad;
    if (k == 1) {
      if (tag != 0x04) goto bad;
      if (len > 3 && len < 12 && memcmp(v, "UPS", 3) == 0) {
        long idx = 0;
        size_t i;
        for (i = 3; i < len && v[i] >= '0' && v[i] <= '9'; i++) idx = idx * 10 + (v[i] - '0');
        if (i == len && idx < MAX_NAMES) name_index = idx;
      }
      continue;
    }
    if (tag != 0x02 || int_value(v, len, &x) != 0) goto bad;
    if (k <= 3)
      status[k - 2] = x;
    else if (k % 2 == 0)
      status[k / 2] = x; /* 4, 6, 8, 10 -> 2..5 */
    else
      values[(k - 5) / 2] = x; /* 5, 7, 9, 11 -> 0..3 */
  }
  if (voff != vbl_len) goto bad; /* no twelfth varbind */
  c.ok++;
  int all = 1;
  for (int i = 0; i < 6; i++) all &= status[i] == 1;
  if (all) c.allclear++;
  int silent = status[0] == 4;
  for (int i = 1; i < 6; i++) silent &= status[i] == 0;
  if (silent) c.noanswer++;
  memcpy(c.last_values, values, sizeof values);
  if (name_index < 0) {
    c.unnamed++;
  } else if (c.seen[name_index]) {
    c.duplicates++;
  } else {
    c.seen[name_index] = 1;
    c.names++;
  }
  return;
bad:
  c.malformed++;
}

static void drain(int fd) {
  uint8_t buf[65536];
  for (;;) {
    ssize_t r = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (r < 0) return; /* EAGAIN: empty; EINTR: the caller loops */
    take(buf, (size_t)r);
  }
}

static void dump(const char *path) {
  char tmp[4096];
  snprintf(tmp, sizeof tmp, "%s.tmp", path);
  FILE *f = fopen(tmp, "w");
  if (f != NULL) {
    fprintf(f,
            "datagrams %lu\nbytes %lu\nok %lu\nallclear %lu\nnoanswer %lu\nmalformed %lu\n"
            "names %lu\nduplicates %lu\nunnamed %lu\nvalues %ld,%ld,%ld,%ld\n",
            c.datagrams, c.bytes, c.ok, c.allclear, c.noanswer, c.malformed, c.names, c.duplicates,
            c.unnamed,
            c.last_values[0], c.last_values[1], c.last_values[2], c.last_values[3]);
    if (fclose(f) == 0) rename(tmp, path);
  }
  memset(&c, 0, sizeof c);
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: trapcount ADDRESS PORT STATSFILE\n");
    return 2;
  }
  struct sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = htons((uint16_t)atoi(argv[2]));
  if (inet_pton(AF_INET, argv[1], &sa.sin_addr) != 1) {
    fprintf(stderr, "trapcount: bad address %s\n", argv[1]);
    return 2;
  }
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    perror("trapcount: socket");
    return 1;
  }
  /* Room for a whole burst of a thousand traps, so the receiver itself is
   * never the reason a trap is missing (root may exceed rmem_max). */
  int size = 32 << 20;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  if (bind(fd, (struct sockaddr *)&sa, sizeof sa) != 0) {
    perror("trapcount: bind");
    return 1;
  }
  struct sigaction act;
  memset(&act, 0, sizeof act);
  act.sa_handler = on_usr1;
  sigaction(SIGUSR1, &act, NULL);
  act.sa_handler = on_term;
  sigaction(SIGTERM, &act, NULL);
  sigaction(SIGINT, &act, NULL);
  printf("ready\n");
  fflush(stdout);

  while (!stop_requested) {
    struct pollfd pfd = {fd, POLLIN, 0};
    int r = poll(&pfd, 1, 100);
    if (r > 0) drain(fd);
    if (dump_requested) {
      dump_requested = 0;
      drain(fd);
      dump(argv[3]);
    }
  }
  return 0;
}
