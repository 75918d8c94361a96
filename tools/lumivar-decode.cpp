#include "tools/DecoderCommandLine.h"

int main(int argc, char** argv) { return tools::decoder_main(argc, argv); }
