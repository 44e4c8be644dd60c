#include "EncoderCli.h"

int main(int argc, char** argv) { return zvc::runEncoder(argc, argv, zvc::stderrLogSink()); }
