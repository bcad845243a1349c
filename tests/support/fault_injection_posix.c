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

static int Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

int rename(const char* from, const char* to) {
  Change(AT_FDCWD, from);
  return NEXT(rename)(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  Change(from_dir, from);
  return NEXT(renameat)(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
  Change(from_dir, from);
  return NEXT(renameat2)(from_dir, from, to_dir, to, flags);
}

int unlink(const char* path) {
  Change(AT_FDCWD, path);
  return NEXT(unlink)(path);
}

int unlinkat(int dir, const char* path, int flags) {
  Change(dir, path);
  return NEXT(unlinkat)(dir, path, flags);
}

int remove(const char* path) {
  Change(AT_FDCWD, path);
  return NEXT(remove)(path);
}

int rmdir(const char* path) {
  Change(AT_FDCWD, path);
  return NEXT(rmdir)(path);
}

int mkdir(const char* path, mode_t mode) {
  Change(AT_FDCWD, path);
  return NEXT(mkdir)(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode) {
  Change(dir, path);
  return NEXT(mkdirat)(dir, path, mode);
}

int link(const char* from, const char* to) {
  Change(AT_FDCWD, to);
  return NEXT(link)(from, to);
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  Change(to_dir, to);
  return NEXT(linkat)(from_dir, from, to_dir, to, flags);
}

int symlink(const char* target, const char* path) {
  Change(AT_FDCWD, path);
  return NEXT(symlink)(target, path);
}

int mkstemp(char* pattern) {
  Change(AT_FDCWD, pattern);
  return NEXT(mkstemp)(pattern);
}

int mkostemp(char* pattern, int flags) {
  Change(AT_FDCWD, pattern);
  return NEXT(mkostemp)(pattern, flags);
}

// The mode argument exists only with O_CREAT or O_TMPFILE.
static mode_t ModeOf(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  if (Writes(flags)) Change(AT_FDCWD, path);
  return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  if (Writes(flags)) Change(AT_FDCWD, path);
  return NEXT(open64)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  if (Writes(flags)) Change(dir, path);
  return NEXT(openat)(dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  if (Writes(flags)) Change(dir, path);
  return NEXT(openat64)(dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
  Change(AT_FDCWD, path);
  return NEXT(creat)(path, mode);
}
