#include "tools/OutputName.h"

#include <cstdio>

namespace tools {

std::string output_name(std::string_view input, const OutputNaming& naming) {
    std::string name(input);
    // Only a dot in the file name itself starts an extension, not one in a folder's name;
    // a leading dot (".hidden") names the file rather than its type.
    const size_t slash = name.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > start) name.erase(dot);
    if (naming.numbered) {
        const int width = std::snprintf(nullptr, 0, "%u", naming.raw_count > 0 ? naming.raw_count - 1 : 0);
        char number[32];
        std::snprintf(number, sizeof number, "_%0*u", width, naming.shot);
        name += number;
    }
    if (naming.thumbnail) name += ".thumb";
    name += naming.extension;
    return name;
}

} // namespace tools
