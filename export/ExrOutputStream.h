#pragma once
// The stream an OpenEXR file is written through: a temporary file in the target's folder
// that replaces the target only on commit(), so a failed export never leaves a partial
// file where the user asked for one. It also keeps the write errors that the library
// swallows while it closes a file (the line-offset table goes out in its destructor).
#include <ImfIO.h>

#include <cstdint>
#include <filesystem>
#include <string>

class ExrOutputStream : public Imf::OStream {
  public:
    // Creates the temporary file; throws std::runtime_error when it cannot.
    explicit ExrOutputStream(const std::filesystem::path& target);
    ~ExrOutputStream() override; // removes the temporary file unless committed

    void write(const char c[], int n) override;
    uint64_t tellp() override { return position_; }
    void seekp(uint64_t pos) override { position_ = pos; }

    // Flushes and renames over the target; throws std::runtime_error on any failure,
    // including one met earlier by a write.
    void commit();

  private:
    [[noreturn]] void fail(const char* what, int err);

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    uint64_t position_ = 0;
    std::string firstError_;
};
