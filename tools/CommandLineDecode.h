#pragma once
// One file (one raw image of it) through the decoder, as the command line asks: identify,
// list, stamp dates, extract the thumbnail, or develop and write the image beside it.
#include <memory>
#include <string>

#include "raw/core/DecoderState.h"
#include "tools/DecoderOptions.h"

namespace tools {

class CommandLineDecode {
  public:
    CommandLineDecode(const DecoderOptions& options, const char* path, unsigned shot);
    ~CommandLineDecode();
    CommandLineDecode(const CommandLineDecode&) = delete;
    CommandLineDecode& operator=(const CommandLineDecode&) = delete;

    // Everything asked of this file was done; failures are reported on standard error.
    bool run();
    // How many raw images identification found in the file (0 before or when not raw).
    unsigned raw_count() const { return state_->raw_count; }

  private:
    bool identify();
    bool stamp_dates();
    bool write_thumbnail();
    bool list_identity();
    bool develop_and_write();
    void prepare_thumbnail_image();
    void apply_options_before_identifying();
    void apply_options_after_identifying();
    void develop();
    void prepare_sensor_data();
    void finish_image();
    bool write_file(raw::Routine writer, const char* extension, bool thumbnail);
    bool write_to(FILE* file, raw::Routine writer, const char* name);
    void report_decoder_failure(const char* thrown);
    void release();

    const DecoderOptions& o_;
    const char* path_;
    unsigned shot_;
    std::unique_ptr<raw::DecoderState> state_;
    raw::DecoderState& s_;
    bool thumbnail_image_ = false; // a thumbnail that is decoded like an image
    std::string loader_message_;   // damaged data the loader met
};

} // namespace tools
