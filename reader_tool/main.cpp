// The entry of lentok-read; everything it does is in the lentok_read_tool
// library.
#include "reader_tool/read_run.h"

int main(int argc, char** argv) { return reader_tool::ToolMain(argc, argv); }
