#include "dng/dng_exceptions.h"

void Throw_dng_error(int32_t code, const char*, const char*) { throw dng_exception(code); }

const char* dng_error_text(int32_t code) {
    switch (code) {
    case dng_error_none:
        return "No error. Success.";
    case dng_error_not_yet_implemented:
        return "Functionality requested is not yet implemented.";
    case dng_error_silent:
        return "An error which should not be signalled to user.";
    case dng_error_user_canceled:
        return "Processing stopped by user (or host application) request.";
    case dng_error_host_insufficient:
        return "Necessary host functionality is not present.";
    case dng_error_memory:
        return "Out of memory.";
    case dng_error_bad_format:
        return "File format is not valid.";
    case dng_error_matrix_math:
        return "Matrix has wrong shape, is badly conditioned, or similar problem.";
    case dng_error_open_file:
        return "Could not open file.";
    case dng_error_read_file:
        return "Error reading file.";
    case dng_error_write_file:
        return "Error writing file.";
    case dng_error_end_of_file:
        return "Unexpected end of file.";
    case dng_error_file_is_damaged:
        return "File is damaged in some way.";
    case dng_error_image_too_big_dng:
        return "Image is too big to save as DNG.";
    case dng_error_image_too_big_tiff:
        return "Image is too big to save as TIFF.";
    default:
        return "Logic or program error or other unclassifiable error.";
    }
}
