// The data symbols the monitoring server's host defines, for test programs.
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>

struct evloop;

extern "C" {
struct evloop* envmon_evloop = nullptr;
FILE* env_fd = nullptr;
pthread_mutex_t atomic_mutex = PTHREAD_MUTEX_INITIALIZER;
uint64_t __proc_total_respawn = 0;
}
