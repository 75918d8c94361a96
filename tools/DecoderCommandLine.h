#pragma once
// The decoder's command line: decodes the raw files named on it and writes PPM, PGM, PAM
// or TIFF files beside them (or their thumbnails, dates or a listing). Returns 0 only when
// every named file was done; 1 after a usage or option error, having touched no file.
namespace tools {

int decoder_main(int argc, char** argv);

} // namespace tools
