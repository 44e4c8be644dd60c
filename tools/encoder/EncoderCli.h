#pragma once
// The PelorZVCEncoder command line, kept apart from main() so tests can run it
// in-process with their own log sink.

#include <functional>
#include <string>

namespace zvc {

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailure = 1, // load, cipher, inflate or write failed
    kExitUsage = 2,
};

// Receives one log message (which may span several lines).
using LogSink = std::function<void(const std::string&)>;

// Writes each message to standard error behind the program name.
LogSink stderrLogSink();

// Output names: every ".json" (or ".zvc") removed from the file name, then the
// new suffix appended; the folder part of the path is kept as it is.
std::string encodedFileName(const std::string& input);
std::string decodedFileName(const std::string& input);

void usage(const LogSink& log);
int encodeJSON(int argc, const char* const* argv, const LogSink& log);
int decodeZVC(int argc, const char* const* argv, const LogSink& log);

// Dispatches on the option (compared in lower case); returns the exit status.
int runEncoder(int argc, const char* const* argv, const LogSink& log);

} // namespace zvc
