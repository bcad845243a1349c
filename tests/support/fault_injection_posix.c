// A library preloaded into a process under test (LD_PRELOAD) that kills it with
// SIGKILL, as a crash or a power cut would, right before its Nth change to the
// folders it watches. A change is a call that creates, renames, links or removes a
// name, or opens a file for writing, below one of the watched folders.
//
//   KESTROVA_FAULT_ROOTS  watched folders, separated by ':' (full paths)
//   KESTROVA_FAULT_AT     the change to die before (1 = the first); 0 or unset: never
//   KESTROVA_FAULT_COUNT  a file that receives the number of changes made, when the
//                         process ends without being killed
//
// The variables are taken out of the environment at load, so that programs the
// process starts run unwatched.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char roots[4096];
static long kill_at;
static char count_file[PATH_MAX];
static long changes;

__attribute__((constructor)) static void LoadSettings(void) {
  const char* value = getenv("KESTROVA_FAULT_ROOTS");
  if (value) snprintf(roots, sizeof roots, "%s", value);
  value = getenv("KESTROVA_FAULT_AT");
  kill_at = value ? atol(value) : 0;
  value = getenv("KESTROVA_FAULT_COUNT");
  if (value) snprintf(count_file, sizeof count_file, "%s", value);
  unsetenv("KESTROVA_FAULT_ROOTS");
  unsetenv("KESTROVA_FAULT_AT");
  unsetenv("KESTROVA_FAULT_COUNT");
  unsetenv("LD_PRELOAD");
}

__attribute__((destructor)) static void SaveCount(void) {
  if (!count_file[0]) return;
  FILE* file = fopen(count_file, "w");
  if (!file) return;
  fprintf(file, "%ld\n", __atomic_load_n(&changes, __ATOMIC_SEQ_CST));
  fclose(file);
}

// The full path a call names, as far as it can be told without touching anything.
static void FullPath(int dir, const char* path, char* out, size_t size) {
  out[0] = 0;
  if (!path) return;
  if (path[0] == '/') {
    snprintf(out, size, "%s", path);
    return;
  }
  char base[PATH_MAX] = "";
  if (dir == AT_FDCWD) {
    if (!getcwd(base, sizeof base)) return;
  } else {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dir);
    const ssize_t length = readlink(link, base, sizeof base - 1);
    if (length < 0) return;
    base[length] = 0;
  }
  snprintf(out, size, "%s/%s", base, path);
}

static int Watched(int dir, const char* path) {
  char full[PATH_MAX + 64];
  FullPath(dir, path, full, sizeof full);
  if (!full[0] || !roots[0]) return 0;
  const char* root = roots;
  while (*root) {
    const char* end = strchr(root, ':');
    const size_t length = end ? (size_t)(end - root) : strlen(root);
    if (length && strncmp(full, root, length) == 0 && (full[length] == '/' || full[length] == 0)) return 1;
    if (!end) break;
    root = end + 1;
  }
  return 0;
}

static void Change(int dir, const char* path) {
  if (!Watched(dir, path)) return;
  const long number = __atomic_add_fetch(&changes, 1, __ATOMIC_SEQ_CST);
  if (kill_at > 0 && number == kill_at) kill(getpid(), SIGKILL);
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

// A call whose change is to the name `watched` (relative to `dir`), passed on as it came.
#define CHANGE(name, params, dir, watched, ...) \
  int name params {                             \
    Change(dir, watched);                       \
    return NEXT(name)(__VA_ARGS__);             \
  }

CHANGE(rename, (const char* from, const char* to), AT_FDCWD, from, from, to)
CHANGE(renameat, (int fd, const char* from, int to_fd, const char* to), fd, from, fd, from, to_fd, to)
CHANGE(renameat2, (int fd, const char* from, int to_fd, const char* to, unsigned flags), fd, from, fd, from, to_fd,
       to, flags)
CHANGE(unlink, (const char* path), AT_FDCWD, path, path)
CHANGE(unlinkat, (int fd, const char* path, int flags), fd, path, fd, path, flags)
CHANGE(remove, (const char* path), AT_FDCWD, path, path)
CHANGE(rmdir, (const char* path), AT_FDCWD, path, path)
CHANGE(mkdir, (const char* path, mode_t mode), AT_FDCWD, path, path, mode)
CHANGE(mkdirat, (int fd, const char* path, mode_t mode), fd, path, fd, path, mode)
CHANGE(link, (const char* from, const char* to), AT_FDCWD, to, from, to)
CHANGE(linkat, (int fd, const char* from, int to_fd, const char* to, int flags), to_fd, to, fd, from, to_fd, to, flags)
CHANGE(symlink, (const char* target, const char* path), AT_FDCWD, path, target, path)
CHANGE(mkstemp, (char* pattern), AT_FDCWD, pattern, pattern)
CHANGE(mkostemp, (char* pattern, int flags), AT_FDCWD, pattern, pattern, flags)
CHANGE(creat, (const char* path, mode_t mode), AT_FDCWD, path, path, mode)

// Opening counts when it may write; the mode argument exists only with O_CREAT or
// O_TMPFILE.
#define OPEN(name, params, dir, ...)                                                  \
  int name params {                                                                   \
    va_list arguments;                                                                \
    va_start(arguments, flags);                                                       \
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0; \
    va_end(arguments);                                                                \
    if (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) Change(dir, path);           \
    return NEXT(name)(__VA_ARGS__, flags, mode);                                      \
  }

OPEN(open, (const char* path, int flags, ...), AT_FDCWD, path)
OPEN(open64, (const char* path, int flags, ...), AT_FDCWD, path)
OPEN(openat, (int fd, const char* path, int flags, ...), fd, fd, path)
OPEN(openat64, (int fd, const char* path, int flags, ...), fd, fd, path)
