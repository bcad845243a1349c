/* The application of the start-up benchmark: writes the moment it runs (the
 * monotonic clock, in nanoseconds) into the file its first argument names. */
#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (argc < 2) return 2;
  char text[32];
  const int length = snprintf(text, sizeof text, "%lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
  const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 1;
  const int written = (int)write(fd, text, (size_t)length);
  close(fd);
  return written == length ? 0 : 1;
}
