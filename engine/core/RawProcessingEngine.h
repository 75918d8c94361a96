#pragma once
// An empty process-wide object that nothing asks for yet; kept for the interface.
class RawProcessingEngine {
  public:
    static RawProcessingEngine& sharedRawProcessingEngine() {
        static RawProcessingEngine* instance = new RawProcessingEngine;
        return *instance;
    }
    RawProcessingEngine(const RawProcessingEngine&) = delete;
    RawProcessingEngine& operator=(const RawProcessingEngine&) = delete;

  private:
    RawProcessingEngine() = default;
};
