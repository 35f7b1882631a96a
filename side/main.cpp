// The entry of lentok-side; everything it does is in the lentok_side
// library.
#include "side/side_run.h"

int main(int argc, char** argv) { return side::SideToolMain(argc, argv); }
