// render_file: a raw file rendered as an export renders it, written as a 16-bit grey TIFF.
// For measurements and checks on real files; not installed.
#include <iostream>
#include <string>
#include <vector>

#include "bench/RenderFile.h"

int main(int argc, char** argv) {
    return renderfile::main(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
