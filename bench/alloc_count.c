// Counts heap allocations per thread, for the figures in README.md:
//
//   LD_PRELOAD=build/bench/liballoc_count.so ALLOC_COUNT_OUT=/tmp/counts.txt velmora-convert --quiet SRC OUT
//
// writes one line per thread that ended, then one for the main thread at exit: its name, the calls of
// malloc/calloc/realloc/aligned allocation, of free, and of GMime's message parse (one per message file
// parsed, which tells the store writer's own allocations from those of the files it parsed itself when its
// worker was late). The allocations go on to glibc's own entry points, whatever allocator the program links,
// so the counts do not depend on it.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>

extern void* __libc_malloc(size_t);
extern void* __libc_calloc(size_t, size_t);
extern void* __libc_realloc(void*, size_t);
extern void* __libc_memalign(size_t, size_t);
extern void __libc_free(void*);

struct counts {
  unsigned long long allocs, frees, parses;
};
static __thread struct counts mine __attribute__((tls_model("initial-exec")));
static __thread int registered __attribute__((tls_model("initial-exec")));
static pthread_key_t at_thread_end;
static pthread_mutex_t out_lock = PTHREAD_MUTEX_INITIALIZER;

static void report(const struct counts* c) {
  char name[17] = {0};
  prctl(PR_GET_NAME, name, 0, 0, 0);
  const char* path = getenv("ALLOC_COUNT_OUT");
  pthread_mutex_lock(&out_lock);
  FILE* out = path ? fopen(path, "a") : NULL;
  fprintf(out ? out : stderr, "thread %-16s allocs %llu frees %llu parses %llu\n", name, c->allocs, c->frees,
          c->parses);
  if (out) fclose(out);
  pthread_mutex_unlock(&out_lock);
}

static void thread_ended(void* unused) {
  (void)unused;
  struct counts c = mine;
  report(&c);
}

static void make_key(void) {
  pthread_key_create(&at_thread_end, thread_ended);
}

// Called on a thread's first counted call; the key's destructor reports the thread when it ends. The main
// thread reports at exit instead (thread-specific destructors do not run for it).
static void note_thread(void) {
  static pthread_once_t once = PTHREAD_ONCE_INIT;
  registered = 1;
  pthread_once(&once, make_key);
  pthread_setspecific(at_thread_end, (void*)1);
}

static __attribute__((destructor)) void main_ended(void) {
  struct counts c = mine;
  report(&c);
}

void* malloc(size_t n) {
  ++mine.allocs;
  return __libc_malloc(n);
}
void* calloc(size_t k, size_t n) {
  ++mine.allocs;
  return __libc_calloc(k, n);
}
void* realloc(void* p, size_t n) {
  ++mine.allocs;
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p) ++mine.frees;
  __libc_free(p);
}
void* memalign(size_t a, size_t n) {
  ++mine.allocs;
  return __libc_memalign(a, n);
}
void* aligned_alloc(size_t a, size_t n) {
  return memalign(a, n);
}
int posix_memalign(void** p, size_t a, size_t n) {
  *p = memalign(a, n);
  return *p ? 0 : 12;  // ENOMEM
}

// C++'s operator new and delete, which an allocator linked into the program (mimalloc) may define itself:
// taken here too, so that they are counted and served by the same heap as malloc. (A failed new aborts; this
// is a measuring tool.)
static void* new_or_abort(size_t n) {
  void* p = malloc(n ? n : 1);
  if (!p) abort();
  return p;
}
static void* aligned_new_or_abort(size_t n, size_t a) {
  void* p = memalign(a, n ? n : 1);
  if (!p) abort();
  return p;
}
void* _Znwm(size_t n) {
  return new_or_abort(n);
}
void* _Znam(size_t n) {
  return new_or_abort(n);
}
void* _ZnwmSt11align_val_t(size_t n, size_t a) {
  return aligned_new_or_abort(n, a);
}
void* _ZnamSt11align_val_t(size_t n, size_t a) {
  return aligned_new_or_abort(n, a);
}
void _ZdlPv(void* p) {
  free(p);
}
void _ZdaPv(void* p) {
  free(p);
}
void _ZdlPvm(void* p, size_t n) {
  (void)n, free(p);
}
void _ZdaPvm(void* p, size_t n) {
  (void)n, free(p);
}
void _ZdlPvSt11align_val_t(void* p, size_t a) {
  (void)a, free(p);
}
void _ZdaPvSt11align_val_t(void* p, size_t a) {
  (void)a, free(p);
}
void _ZdlPvmSt11align_val_t(void* p, size_t n, size_t a) {
  (void)n, (void)a, free(p);
}
void _ZdaPvmSt11align_val_t(void* p, size_t n, size_t a) {
  (void)n, (void)a, free(p);
}

void* g_mime_parser_construct_message(void* parser, void* options) {
  static void* (*next)(void*, void*);
  if (!next) next = (void* (*)(void*, void*))dlsym(RTLD_NEXT, "g_mime_parser_construct_message");
  if (!registered) note_thread();
  ++mine.parses;
  return next(parser, options);
}
