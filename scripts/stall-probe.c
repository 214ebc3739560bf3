// Tells whether the machine itself stood still while a test listened: one thread per processor,
// pinned to it and in real time above every thread of the sound path, sleeps 1 ms at a time and
// notes each wake-up that came late. A wake-up late on every processor at once means nothing ran
// at all, neither the program nor the sound server: the virtual machine was not given its
// processors. Such a stall is below anything the program or Wine can do.
//
// Usage: stall-probe LOG [FILE BYTES_PER_SECOND]   (in the background; SIGTERM or SIGINT ends it)
// LOG gets a line per late wake-up: "late CPU END_S MS BYTES", END_S the wake-up's monotonic time
// in seconds, MS how late it was and BYTES FILE's length at that moment (the recording's, so that
// a stall can be placed in it), -1 without FILE.
// LOG begins with "watching CPUS" once every processor is watched, and ends with a line per stall
// of every processor, "stall AT_S MS": AT_S FILE's length when it ended, in seconds at that rate;
// stalls with nothing written to FILE between them are one, MS from the first's start to the
// last's end (the machine ran a moment between them, too short for the recorder to write).
// On ending it prints one line per stall of every processor of at least 5 ms (STALL_PROBE_MS
// changes that), with the time into FILE at that rate, and a summary line.
#define _GNU_SOURCE
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kMaxCpus = 64, kMaxLate = 200000, kPriority = 90 };
static const long kSleepNs = 1000000;     // the probe's tick
static const double kLateMs = 1.0;        // what counts as late at all

typedef struct { int cpu; double start, end; long long bytes; } Late;
static Late late[kMaxLate];
static int lateCount;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static const char* watched;
static double bytesPerSecond;
static FILE* logFile;
static int cpus;

static double Seconds(const struct timespec* t) { return t->tv_sec + t->tv_nsec * 1e-9; }

static long long WatchedBytes(void) {
    struct stat st;
    return watched && stat(watched, &st) == 0 ? (long long)st.st_size : -1;
}

static void* Watch(void* arg) {
    const int cpu = (int)(long)arg;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    for (;;) {
        struct timespec target, woke;
        clock_gettime(CLOCK_MONOTONIC, &target);
        target.tv_nsec += kSleepNs;
        if (target.tv_nsec >= 1000000000L) { target.tv_nsec -= 1000000000L; target.tv_sec++; }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, 0);
        clock_gettime(CLOCK_MONOTONIC, &woke);
        const double lateMs = (Seconds(&woke) - Seconds(&target)) * 1000;
        if (lateMs < kLateMs) continue;
        const long long bytes = WatchedBytes();
        pthread_mutex_lock(&lock);
        if (lateCount < kMaxLate) late[lateCount++] = (Late){cpu, Seconds(&target), Seconds(&woke), bytes};
        fprintf(logFile, "late %d %.6f %.3f %lld\n", cpu, Seconds(&woke), lateMs, bytes);
        pthread_mutex_unlock(&lock);
    }
    return 0;
}

// The stretch [start, end) in which every processor's probe was late, grown from one late
// wake-up: each other processor must have a late wake-up overlapping it.
static int EveryProcessorStood(const Late* seed, double* start, double* end) {
    *start = seed->start;
    *end = seed->end;
    for (int cpu = 0; cpu < cpus; ++cpu) {
        if (cpu == seed->cpu) continue;
        int found = 0;
        for (int i = 0; i < lateCount; ++i) {
            const Late* other = &late[i];
            if (other->cpu != cpu || other->end <= *start || other->start >= *end) continue;
            if (other->start > *start) *start = other->start;
            if (other->end < *end) *end = other->end;
            found = 1;
            break;
        }
        if (!found) return 0;
    }
    return 1;
}

// Calls `each` for every stall of every processor of at least `shortest` ms, in time order, with
// the late wake-up it was grown from.
static void EachStall(double shortest, void (*each)(const Late* seed, double start, double end, void* context),
                      void* context) {
    double lastEnd = -1;
    for (int i = 0; i < lateCount; ++i) {
        double start, end;
        if (late[i].cpu != 0 || !EveryProcessorStood(&late[i], &start, &end)) continue;
        const double ms = (end - start) * 1000;
        if (ms < shortest || start < lastEnd) continue;
        lastEnd = end;
        each(&late[i], start, end, context);
    }
}

static int Placed(const Late* seed) { return bytesPerSecond > 0 && seed->bytes >= 0; }

typedef struct { long long bytes; double start, end; } Logged;

static void LogLine(const Logged* stall) {
    if (stall->bytes >= 0)
        fprintf(logFile, "stall %.4f %.3f\n", stall->bytes / bytesPerSecond, (stall->end - stall->start) * 1000);
}

static void LogStall(const Late* seed, double start, double end, void* context) {
    Logged* pending = context;
    if (!Placed(seed)) return;
    if (seed->bytes == pending->bytes) {
        pending->end = end;
        return;
    }
    LogLine(pending);
    *pending = (Logged){seed->bytes, start, end};
}

typedef struct { int count; double longest; } Stalls;

static void PrintStall(const Late* seed, double start, double end, void* context) {
    const double ms = (end - start) * 1000;
    Stalls* stalls = context;
    ++stalls->count;
    if (ms > stalls->longest) stalls->longest = ms;
    if (Placed(seed))
        printf("stall %.1f ms, %.3f s into the recording\n", ms, seed->bytes / bytesPerSecond);
    else
        printf("stall %.1f ms\n", ms);
}

static void Report(void) {
    Logged pending = {-1, 0, 0};
    EachStall(kLateMs, LogStall, &pending);
    LogLine(&pending);
    fflush(logFile);
    const char* threshold = getenv("STALL_PROBE_MS");
    const double shortest = threshold ? atof(threshold) : 5.0;  // the shortest seen to silence the sound
    Stalls printed = {0, 0};
    EachStall(shortest, PrintStall, &printed);
    const int stalls = printed.count;
    const double longest = printed.longest;
    printf("stall-probe: %d stalls of every processor of %.0f ms or more (longest %.1f ms), %d late wake-ups on %d processors\n",
           stalls, shortest, longest, lateCount, cpus);
    fflush(stdout);
}

static void End(int signal) {
    (void)signal;
    pthread_mutex_lock(&lock);
    Report();
    _exit(0);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: stall-probe LOG [FILE BYTES_PER_SECOND]\n");
        return 2;
    }
    logFile = fopen(argv[1], "w");
    if (!logFile) {
        perror(argv[1]);
        return 1;
    }
    // A real-time process left behind would wake every processor each millisecond forever: the
    // probe ends with whatever started it, even when that is killed outright.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 0;
    watched = argc > 2 ? argv[2] : 0;
    bytesPerSecond = argc > 3 ? atof(argv[3]) : 0;
    cpus = (int)sysconf(_SC_NPROCESSORS_ONLN);
    if (cpus < 1 || cpus > kMaxCpus) cpus = 1;
    // The watchers must run ahead of everything they watch, or a busy real-time thread of the
    // sound path would look like a stall of the machine.
    struct sched_param priority = {.sched_priority = kPriority};
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0) {
        fprintf(stderr, "stall-probe: real time refused; not watching\n");
        return 1;
    }
    // The report runs in the main thread only: the watchers never take the signal.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, 0);
    for (int cpu = 0; cpu < cpus; ++cpu) {
        pthread_t thread;
        pthread_create(&thread, 0, Watch, (void*)(long)cpu);
    }
    pthread_mutex_lock(&lock);
    fprintf(logFile, "watching %d\n", cpus);
    fflush(logFile);
    pthread_mutex_unlock(&lock);
    int signal;
    sigwait(&ending, &signal);
    End(signal);
}
