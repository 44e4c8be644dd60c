#include "EncoderCli.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    // runEncoder reports its own failures; this only keeps anything it did
    // not foresee from ending in an abort.
    try {
        return zvc::runEncoder(argc, argv, zvc::stderrLogSink());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PelorZVCEncoder: %s\n", e.what());
    } catch (...) {
        std::fputs("PelorZVCEncoder: unexpected failure\n", stderr);
    }
    return zvc::kExitFailure;
}
