// The host's data symbols, for tests that link the core directly.
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>

struct evloop;

extern "C" {
struct evloop* envmon_evloop;
FILE* env_fd;
pthread_mutex_t atomic_mutex = PTHREAD_MUTEX_INITIALIZER;
uint64_t __proc_total_respawn;
}
