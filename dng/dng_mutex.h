#pragma once
// Recursive mutexes, scoped locks and condition variables for the DNG code.
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <pthread.h>

class dng_abort_sniffer;

class dng_mutex : private dng_uncopyable {
  public:
    // The level and name only help diagnostics.
    explicit dng_mutex(const char* name = nullptr, uint32_t level = 0);
    virtual ~dng_mutex();

    void Lock();
    void Unlock();
    const char* Name() const { return fName; }
    uint32_t Level() const { return fLevel; }

  private:
    friend class dng_condition_variable;
    pthread_mutex_t fPthreadMutex;
    uint32_t fLevel;
    const char* fName;
};

class dng_scoped_mutex_lock : private dng_uncopyable {
  public:
    explicit dng_scoped_mutex_lock(dng_mutex* mutex);
    explicit dng_scoped_mutex_lock(dng_mutex& mutex) : dng_scoped_mutex_lock(&mutex) {}
    ~dng_scoped_mutex_lock();

  private:
    dng_mutex* fMutex;
};

class dng_condition_variable : private dng_uncopyable {
  public:
    dng_condition_variable();
    ~dng_condition_variable();

    // A negative timeout waits without limit; false only when the wait timed out.
    bool Wait(dng_mutex& mutex, double timeoutSeconds = -1.0);
    void Broadcast();

  private:
    pthread_cond_t fPthreadCondition;
};

// Holds back low-priority work while work of higher priority runs.
class dng_priority_manager : private dng_uncopyable {
  public:
    dng_priority_manager();

    int32_t MinimumPriority();
    // Returns once the sniffer's priority is at least the minimum priority.
    void Wait(dng_abort_sniffer& sniffer);

  private:
    dng_mutex fMutex;
    dng_condition_variable fCondition;
    uint32_t fCounter[3] = {0, 0, 0};
};

dng_priority_manager& gDNGPriorityManager();
