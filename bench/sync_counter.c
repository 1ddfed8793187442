/* Counts the process's fsync and fdatasync calls (loaded with LD_PRELOAD by the start-up bench). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>

static atomic_long g_syncs;

long kx_sync_count(void) { return atomic_load(&g_syncs); }

int fsync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  atomic_fetch_add(&g_syncs, 1);
  return real(fd);
}

int fdatasync(int fd) {
  static int (*real)(int);
  if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
  atomic_fetch_add(&g_syncs, 1);
  return real(fd);
}
