#pragma once
// Lets a long operation be stopped or held back for work of higher priority.
#include <cstdint>

enum dng_priority : int32_t { dng_priority_low = 0, dng_priority_medium = 1, dng_priority_high = 2 };

class dng_abort_sniffer {
  public:
    dng_abort_sniffer() = default;
    virtual ~dng_abort_sniffer() = default;

    int32_t Priority() const { return fPriority; }
    void SetPriority(int32_t priority) { fPriority = priority; }

    virtual bool ThreadSafe() const { return false; }
    // Whether the sniffer waits while work of higher priority runs.
    virtual bool SupportsPriorityWait() const { return false; }
    // Throws to stop the work.
    virtual void Sniff() = 0;
    virtual void StartTask(const char* /*name*/, double /*fraction*/) {}
    virtual void EndTask() {}
    virtual void UpdateProgress(double /*fraction*/) {}

    // Nothing for a null sniffer.
    static void SniffForAbort(dng_abort_sniffer* sniffer);

  private:
    int32_t fPriority = dng_priority_high;
};
