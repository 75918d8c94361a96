#include "dng/dng_mutex.h"

#include "dng/dng_abort_sniffer.h"
#include "dng/dng_exceptions.h"

#include <cerrno>
#include <cmath>
#include <sys/time.h>

dng_mutex::dng_mutex(const char* name, uint32_t level) : fLevel(level), fName(name) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) ThrowMemoryFull();
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    const int result = pthread_mutex_init(&fPthreadMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) ThrowMemoryFull();
}

dng_mutex::~dng_mutex() { pthread_mutex_destroy(&fPthreadMutex); }

void dng_mutex::Lock() {
    if (pthread_mutex_lock(&fPthreadMutex) != 0) ThrowProgramError();
}

void dng_mutex::Unlock() { pthread_mutex_unlock(&fPthreadMutex); }

dng_scoped_mutex_lock::dng_scoped_mutex_lock(dng_mutex* mutex) : fMutex(mutex) {
    if (fMutex) fMutex->Lock();
}

dng_scoped_mutex_lock::~dng_scoped_mutex_lock() {
    if (fMutex) fMutex->Unlock();
}

dng_condition_variable::dng_condition_variable() {
    if (pthread_cond_init(&fPthreadCondition, nullptr) != 0) ThrowProgramError();
}

dng_condition_variable::~dng_condition_variable() { pthread_cond_destroy(&fPthreadCondition); }

bool dng_condition_variable::Wait(dng_mutex& mutex, double timeoutSeconds) {
    if (timeoutSeconds < 0.0) {
        pthread_cond_wait(&fPthreadCondition, &mutex.fPthreadMutex);
        return true;
    }
    timeval now;
    gettimeofday(&now, nullptr);
    const double deadline = double(now.tv_sec) + double(now.tv_usec) * 1.0e-6 + timeoutSeconds;
    timespec until;
    until.tv_sec = time_t(std::floor(deadline));
    until.tv_nsec = long((deadline - std::floor(deadline)) * 1.0e9);
    if (until.tv_nsec >= 1000000000L) until.tv_nsec = 999999999L;
    return pthread_cond_timedwait(&fPthreadCondition, &mutex.fPthreadMutex, &until) != ETIMEDOUT;
}

void dng_condition_variable::Broadcast() {
    if (pthread_cond_broadcast(&fPthreadCondition) != 0) ThrowProgramError();
}

dng_priority_manager::dng_priority_manager() : fMutex("dng_priority_manager::fMutex", 0x70000000) {}

int32_t dng_priority_manager::MinimumPriority() {
    dng_scoped_mutex_lock lock(fMutex);
    if (fCounter[dng_priority_high]) return dng_priority_high;
    if (fCounter[dng_priority_medium]) return dng_priority_medium;
    return dng_priority_low;
}

void dng_priority_manager::Wait(dng_abort_sniffer& sniffer) {
    const int32_t priority = sniffer.Priority();
    if (priority > dng_priority_medium) return;
    dng_scoped_mutex_lock lock(fMutex);
    while (priority < MinimumPriority())
        fCondition.Wait(fMutex);
}

dng_priority_manager& gDNGPriorityManager() {
    static dng_priority_manager manager;
    return manager;
}

void dng_abort_sniffer::SniffForAbort(dng_abort_sniffer* sniffer) {
    if (!sniffer) return;
    if (sniffer->SupportsPriorityWait()) gDNGPriorityManager().Wait(*sniffer);
    sniffer->Sniff();
}
