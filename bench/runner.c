/* runner: starts runs of one job and measures them, for bench/run.
 *
 * A job is one command, or several run one after another ("cmd1 ... --then
 * cmd2 ..."), the next only when the one before exited 0, as a shell's && would;
 * "--anyway" in place of "--then" runs the next one whatever the exit status
 * (as a shell's ; would), and the job's status is then the last command's.
 * "{i}" in any argument or -e value is replaced by the run's number (1..N).
 * Children get /dev/null as stdin and stdout; stderr is appended to -l FILE
 * (default /dev/null).
 *
 * Modes:
 *   seq  R runs one after another. One line per run:
 *          run I wall_us W cpu_us C maxrss_kb M status S faults F wakeups V
 *        cpu is user + system time of the run's processes (wait4) (Linux
 *        cannot split it for runs this short), faults the minor page
 *        faults, wakeups the voluntary context switches (each time a process
 *        went to sleep and was woken), maxrss the
 *        largest ru_maxrss among them. Note that Linux's ru_maxrss of a
 *        spawned child includes the spawner's own resident pages (the old
 *        address space at exec), as /usr/bin/time's %M does.
 *   par  N runs started at once (all first commands spawned back to back).
 *        One summary line:
 *          par n N wall_us W cpu_us C self_cpu_us S failed F
 *              run_wall_median_us M run_wall_max_us X
 *   hwm  one run under ptrace; at each traced process's exit its VmHWM (the
 *        peak resident set of the program image itself) is read from
 *        /proc/PID/status. One line:  hwm kb K processes P status S
 *        anon_at_exit_kb A file_at_exit_kb F  (the parts of the resident set
 *        of that largest process at its exit: heap/stack vs mapped files);
 *        -s FILE writes that process's resident set per mapping to FILE
 *
 * usage: runner seq|par|hwm [-n N] [-r R] [-e VAR=VALUE]... [-l FILE] [-s FILE]
 *               -- cmd args... [--then cmd args...]...
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

#define MAX_STAGES 4
#define MAX_ENV 16

static char **stage_argv[MAX_STAGES];
static int stage_argc[MAX_STAGES];
static int stage_anyway[MAX_STAGES]; /* runs whatever the stage before it gave */
static int stages;
static char *env_set[MAX_ENV];
static int env_count;
static const char *log_path = "/dev/null";
static const char *smaps_path; /* hwm: where the largest process's smaps goes */

static int64_t now_us(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

static int64_t tv_us(struct timeval tv) { return (int64_t)tv.tv_sec * 1000000 + tv.tv_usec; }

static int64_t cpu_us(const struct rusage *ru) { return tv_us(ru->ru_utime) + tv_us(ru->ru_stime); }

/* s with every "{i}" replaced by the decimal run number; a new string. */
static char *subst(const char *s, int run) {
  char num[16];
  snprintf(num, sizeof num, "%d", run);
  size_t cap = strlen(s) + 1, count = 0;
  for (const char *p = s; (p = strstr(p, "{i}")) != NULL; p += 3) count++;
  cap += count * strlen(num);
  char *out = malloc(cap), *w = out;
  if (out == NULL) {
    perror("runner: malloc");
    exit(1);
  }
  while (*s) {
    if (strncmp(s, "{i}", 3) == 0) {
      w = stpcpy(w, num);
      s += 3;
    } else {
      *w++ = *s++;
    }
  }
  *w = 0;
  return out;
}

struct prepared {
  char **argv[MAX_STAGES];
  char **envp;
};

static void prepare(struct prepared *p, int run) {
  for (int s = 0; s < stages; s++) {
    p->argv[s] = calloc((size_t)stage_argc[s] + 1, sizeof(char *));
    for (int a = 0; a < stage_argc[s]; a++) p->argv[s][a] = subst(stage_argv[s][a], run);
  }
  int n = 0;
  while (environ[n]) n++;
  p->envp = calloc((size_t)(n + env_count + 1), sizeof(char *));
  int w = 0;
  for (int e = 0; e < n; e++) {
    int overridden = 0;
    for (int k = 0; k < env_count; k++) {
      size_t klen = strcspn(env_set[k], "=");
      if (strncmp(environ[e], env_set[k], klen) == 0 && environ[e][klen] == '=') overridden = 1;
    }
    if (!overridden) p->envp[w++] = environ[e];
  }
  for (int k = 0; k < env_count; k++) p->envp[w++] = subst(env_set[k], run);
  p->envp[w] = NULL;
}

static posix_spawn_file_actions_t actions;

static pid_t spawn(char **argv, char **envp) {
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &actions, NULL, argv, envp);
  if (rc != 0) {
    fprintf(stderr, "runner: cannot start %s: %s\n", argv[0], strerror(rc));
    return -1;
  }
  return pid;
}

static int usage(void) {
  fprintf(stderr,
          "usage: runner seq|par|hwm [-n N] [-r R] [-e VAR=VALUE]... [-l FILE] -- cmd args... "
          "[--then|--anyway cmd args...]...\n");
  return 2;
}

static int cmp_i64(const void *a, const void *b) {
  int64_t x = *(const int64_t *)a, y = *(const int64_t *)b;
  return (x > y) - (x < y);
}

/* One run after another, each measured on its own. */
static int mode_seq(int reps) {
  for (int r = 1; r <= reps; r++) {
    struct prepared p;
    prepare(&p, r);
    int64_t cpu = 0, t0 = now_us();
    long maxrss = 0, minflt = 0, nvcsw = 0;
    int status = 0;
    for (int s = 0; s < stages; s++) {
      pid_t pid = spawn(p.argv[s], p.envp);
      if (pid < 0) {
        status = 127 << 8;
        break;
      }
      struct rusage ru;
      if (wait4(pid, &status, 0, &ru) < 0) {
        perror("runner: wait4");
        return 1;
      }
      cpu += cpu_us(&ru);
      minflt += ru.ru_minflt;
      nvcsw += ru.ru_nvcsw;
      if (ru.ru_maxrss > maxrss) maxrss = ru.ru_maxrss;
      if (status != 0 && !(s + 1 < stages && stage_anyway[s + 1])) break;
    }
    int64_t wall = now_us() - t0;
    printf("run %d wall_us %lld cpu_us %lld maxrss_kb %ld status %d faults %ld wakeups %ld\n", r,
           (long long)wall, (long long)cpu, maxrss,
           WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), minflt, nvcsw);
  }
  return 0;
}

struct slot {
  pid_t pid;
  int stage;
  int failed;
  int64_t start, end;
};

/* N runs at once: every first command is spawned back to back, and each
 * later command as soon as the one before it in the same run has exited. */
static int mode_par(int n) {
  struct prepared *p = calloc((size_t)n, sizeof *p);
  struct slot *slots = calloc((size_t)n, sizeof *slots);
  for (int i = 0; i < n; i++) prepare(&p[i], i + 1);
  int64_t cpu = 0, t0 = now_us();
  int running = 0, failed = 0;
  for (int i = 0; i < n; i++) {
    slots[i].start = now_us();
    slots[i].pid = spawn(p[i].argv[0], p[i].envp);
    if (slots[i].pid < 0) {
      slots[i].failed = 1;
      slots[i].end = now_us();
      failed++;
    } else {
      running++;
    }
  }
  while (running > 0) {
    int status;
    struct rusage ru;
    pid_t pid = wait4(-1, &status, 0, &ru);
    if (pid < 0) {
      if (errno == EINTR) continue;
      perror("runner: wait4");
      return 1;
    }
    cpu += cpu_us(&ru);
    int i;
    for (i = 0; i < n && slots[i].pid != pid; i++) {
    }
    if (i == n) continue;
    running--;
    const int next = slots[i].stage + 1;
    if (status != 0 && !(next < stages && stage_anyway[next])) {
      slots[i].failed = 1;
      failed++;
    } else if (next < stages) {
      slots[i].stage++;
      slots[i].pid = spawn(p[i].argv[slots[i].stage], p[i].envp);
      if (slots[i].pid >= 0) {
        running++;
        continue;
      }
      slots[i].failed = 1;
      failed++;
    }
    slots[i].pid = 0;
    slots[i].end = now_us();
  }
  int64_t wall = now_us() - t0;
  struct rusage self;
  getrusage(RUSAGE_SELF, &self);
  int64_t *walls = calloc((size_t)n, sizeof *walls);
  for (int i = 0; i < n; i++) walls[i] = slots[i].end - slots[i].start;
  qsort(walls, (size_t)n, sizeof *walls, cmp_i64);
  printf(
      "par n %d wall_us %lld cpu_us %lld self_cpu_us %lld failed %d run_wall_median_us %lld "
      "run_wall_max_us %lld\n",
      n, (long long)wall, (long long)cpu, (long long)cpu_us(&self), failed,
      (long long)walls[(n - 1) / 2], (long long)walls[n - 1]);
  return 0;
}

struct mem {
  long hwm, anon, file;
};

/* VmHWM and, at this moment, the anonymous and file-backed parts of VmRSS. */
static struct mem vm_mem(pid_t pid) {
  char path[64], line[256];
  struct mem m = {-1, -1, -1};
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE *f = fopen(path, "r");
  if (f == NULL) return m;
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, "VmHWM:", 6) == 0) m.hwm = strtol(line + 6, NULL, 10);
    if (strncmp(line, "RssAnon:", 8) == 0) m.anon = strtol(line + 8, NULL, 10);
    if (strncmp(line, "RssFile:", 8) == 0) m.file = strtol(line + 8, NULL, 10);
  }
  fclose(f);
  return m;
}

/* The resident set per mapping, "Rss_kB path" lines, for the profile. */
static void copy_smaps(pid_t pid) {
  char path[64], line[512], name[400] = "";
  snprintf(path, sizeof path, "/proc/%d/smaps", (int)pid);
  FILE *in = fopen(path, "r");
  if (in == NULL) return;
  FILE *out = fopen(smaps_path, "w");
  if (out == NULL) {
    fclose(in);
    return;
  }
  while (fgets(line, sizeof line, in)) {
    unsigned long lo, hi;
    char perms[8];
    int used = 0;
    if (sscanf(line, "%lx-%lx %7s %*s %*s %*s %n", &lo, &hi, perms, &used) >= 3 && used > 0) {
      snprintf(name, sizeof name, "%s %s", perms, line + used);
      name[strcspn(name, "\n")] = 0;
    } else if (strncmp(line, "Rss:", 4) == 0) {
      fprintf(out, "%ld %s\n", strtol(line + 4, NULL, 10), name[0] ? name : "[anon]");
    }
  }
  fclose(in);
  fclose(out);
}

/* One run under ptrace: the peak resident set of each program as its own
 * VmHWM, read at its exit stop while its address space still exists. */
static int mode_hwm(void) {
  struct prepared p;
  prepare(&p, 1);
  struct mem peak = {0, 0, 0};
  int processes = 0, status = 0;
  for (int s = 0; s < stages && status == 0; s++) {
    pid_t child = fork();
    if (child < 0) {
      perror("runner: fork");
      return 1;
    }
    if (child == 0) {
      int null_fd = open("/dev/null", O_RDWR);
      int log_fd = open(log_path, O_WRONLY | O_APPEND | O_CREAT, 0644);
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      if (log_fd >= 0) dup2(log_fd, 2);
      ptrace(PTRACE_TRACEME, 0, NULL, NULL);
      execvpe(p.argv[s][0], p.argv[s], p.envp);
      _exit(127);
    }
    int live = 1, first = 1;
    while (live > 0) {
      int st;
      pid_t pid = waitpid(-1, &st, __WALL);
      if (pid < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (WIFEXITED(st) || WIFSIGNALED(st)) {
        live--;
        if (pid == child) status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        continue;
      }
      if (!WIFSTOPPED(st)) continue;
      int sig = WSTOPSIG(st), event = st >> 16, deliver = 0;
      if (first && pid == child) {
        first = 0; /* the stop after exec */
        ptrace(PTRACE_SETOPTIONS, pid, NULL,
               (void *)(long)(PTRACE_O_TRACEEXIT | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                              PTRACE_O_TRACECLONE));
      } else if (event == PTRACE_EVENT_EXIT) {
        struct mem m = vm_mem(pid);
        processes++;
        if (m.hwm > peak.hwm) {
          peak = m;
          if (smaps_path != NULL) copy_smaps(pid);
        }
      } else if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK ||
                 event == PTRACE_EVENT_CLONE) {
        live++; /* the new tracee starts with a SIGSTOP of its own */
      } else if (sig != SIGTRAP && sig != SIGSTOP) {
        deliver = sig;
      }
      ptrace(PTRACE_CONT, pid, NULL, (void *)(long)deliver);
    }
  }
  printf("hwm kb %ld processes %d status %d anon_at_exit_kb %ld file_at_exit_kb %ld\n", peak.hwm,
         processes, status, peak.anon, peak.file);
  return 0;
}

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  const char *mode = argv[1];
  int n = 1, reps = 1, i = 2;
  for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
    if (strcmp(argv[i], "-n") == 0 && i + 1 < argc)
      n = atoi(argv[++i]);
    else if (strcmp(argv[i], "-r") == 0 && i + 1 < argc)
      reps = atoi(argv[++i]);
    else if (strcmp(argv[i], "-e") == 0 && i + 1 < argc && env_count < MAX_ENV)
      env_set[env_count++] = argv[++i];
    else if (strcmp(argv[i], "-l") == 0 && i + 1 < argc)
      log_path = argv[++i];
    else if (strcmp(argv[i], "-s") == 0 && i + 1 < argc)
      smaps_path = argv[++i];
    else
      return usage();
  }
  if (i >= argc || n < 1 || reps < 1) return usage();
  i++;
  while (i < argc && stages < MAX_STAGES) {
    int start = i;
    while (i < argc && strcmp(argv[i], "--then") != 0 && strcmp(argv[i], "--anyway") != 0) i++;
    if (i == start) return usage();
    stage_argv[stages] = argv + start;
    stage_argc[stages] = i - start;
    stages++;
    if (i < argc) {
      if (stages < MAX_STAGES) stage_anyway[stages] = strcmp(argv[i], "--anyway") == 0;
      i++; /* skip the separator */
    }
  }
  if (stages == 0) return usage();

  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, log_path, O_WRONLY | O_APPEND | O_CREAT, 0644);
  setvbuf(stdout, NULL, _IOLBF, 0);

  if (strcmp(mode, "seq") == 0) return mode_seq(reps);
  if (strcmp(mode, "par") == 0) return mode_par(n);
  if (strcmp(mode, "hwm") == 0) return mode_hwm();
  return usage();
}
