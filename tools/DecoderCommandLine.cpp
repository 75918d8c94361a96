#include "tools/DecoderCommandLine.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "tools/CommandLineDecode.h"
#include "tools/DecoderOptions.h"

namespace tools {
namespace {

// "-s all" develops every raw image of the file in turn.
bool decode_named_file(const DecoderOptions& o, const char* path) {
    const bool every_shot = o.all_shots && !o.identify_only && !o.timestamp_only && !o.thumbnail_only;
    unsigned shot = o.all_shots ? 0 : o.shot;
    bool done = true;
    for (;;) {
        CommandLineDecode decode(o, path, shot);
        done = decode.run() && done;
        if (!every_shot || ++shot >= decode.raw_count()) break;
    }
    return done;
}

bool writes_image(const DecoderOptions& o) { return !o.identify_only && !o.timestamp_only; }

} // namespace

int decoder_main(int argc, char** argv) {
    // Times print and go into files in UTC, whatever the machine's zone.
    setenv("TZ", "UTC", 1);
    tzset();
    // A reader that goes away must show up as a write error, not end the program silently.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc <= 1) {
        print_decoder_usage(stderr, argc > 0 ? argv[0] : "lumivar-decode");
        return 1;
    }
    DecoderOptions options;
    const int first = parse_decoder_options(argc, argv, options, stderr);
    if (first < 0) return 1;
    if (first >= argc) {
        std::fprintf(stderr, "No files to process.\n");
        return 1;
    }
    if (options.to_stdout && writes_image(options) && isatty(STDOUT_FILENO)) {
        std::fprintf(stderr, "Will not write an image to the terminal!\n");
        return 1;
    }
    bool all_done = true;
    for (int arg = first; arg < argc; ++arg)
        all_done = decode_named_file(options, argv[arg]) && all_done;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "Cannot write standard output: %s\n", std::strerror(errno ? errno : EIO));
        all_done = false;
    }
    return all_done ? 0 : 1;
}

} // namespace tools
