#include "EncoderCli.h"

#include "FileIO.h"
#include "ZVCCryptHelper.h"
#include "ZvcKey.h"

#include <cstdio>
#include <exception>
#include <new>
#include <optional>

namespace zvc {
namespace {

// Removes every occurrence of `needle`, left to right, in one pass.
std::string removeAll(const std::string& text, const std::string& needle)
{
    std::string out;
    std::size_t from = 0;
    for (std::size_t hit; (hit = text.find(needle, from)) != std::string::npos; from = hit + needle.size())
        out.append(text, from, hit - from);
    out.append(text, from, std::string::npos);
    return out;
}

std::string renamed(const std::string& input, const std::string& oldSuffix, const std::string& newSuffix)
{
    const auto slash = input.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : input.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
    return folder + removeAll(name, oldSuffix) + newSuffix;
}

std::string lowerAscii(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return s;
}

using Transform = std::optional<Bytes> (*)(const Bytes&, const Bytes&, std::string*);

std::optional<Bytes> encrypt(const Bytes& data, const Bytes& key, std::string*)
{
    return ZVCCryptHelper::encryptUsingTea(data, key);
}

std::optional<Bytes> decrypt(const Bytes& data, const Bytes& key, std::string* error)
{
    return ZVCCryptHelper::decryptUsingTae(data, key, error);
}

std::string withReason(const char* line, const std::string& reason)
{
    return reason.empty() ? std::string(line) : std::string(line) + ": " + reason;
}

int convertFile(int argc, const char* const* argv, const LogSink& log, const char* usageLine,
                Transform transform, const char* failureLine, std::string (*outputName)(const std::string&))
{
    if (argc < 3) {
        log(usageLine);
        return kExitUsage;
    }
    const std::string input = argv[2];
    // Each step names itself, so running out of memory anywhere still ends
    // in the line of the step that failed and exit status 1.
    const char* step = "load file failed";
    try {
        std::string error;
        std::optional<Bytes> content = readWholeFile(input, &error);
        if (!content) {
            log(withReason(step, error));
            return kExitFailure;
        }
        step = failureLine;
        const std::optional<Bytes> result = transform(*content, zvcKey(), &error);
        content.reset(); // the input is no longer needed while the output is written
        if (!result) {
            log(withReason(step, error));
            return kExitFailure;
        }
        step = "write file failed";
        if (!writeFileAtomically(outputName(input), *result, &error)) {
            log(withReason(step, error));
            return kExitFailure;
        }
    } catch (const std::bad_alloc&) {
        log(withReason(step, "out of memory"));
        return kExitFailure;
    } catch (const std::exception& e) {
        log(withReason(step, e.what()));
        return kExitFailure;
    }
    log("success");
    return kExitSuccess;
}

} // namespace

LogSink stderrLogSink()
{
    return [](const std::string& message) {
        std::string line = "PelorZVCEncoder: " + message;
        if (line.empty() || line.back() != '\n')
            line.push_back('\n');
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    };
}

std::string encodedFileName(const std::string& input) { return renamed(input, ".json", ".zvc"); }

std::string decodedFileName(const std::string& input) { return renamed(input, ".zvc", ".json"); }

void usage(const LogSink& log)
{
    // The list is printed one quoted item per line in parentheses.
    log("usage: \n"
        "(\n"
        "    \"PelorZVCEncoder --encode filename\",\n"
        "    \"PelorZVCEncoder --decode filename\"\n"
        ")\n");
}

int encodeJSON(int argc, const char* const* argv, const LogSink& log)
{
    return convertFile(argc, argv, log, "usage:PelorZVCEncoder --encode filename", &encrypt,
                       "encrypt file failed", &encodedFileName);
}

int decodeZVC(int argc, const char* const* argv, const LogSink& log)
{
    return convertFile(argc, argv, log, "usage:PelorZVCEncoder --decode filename", &decrypt,
                       "decrypt file failed", &decodedFileName);
}

int runEncoder(int argc, const char* const* argv, const LogSink& log)
{
    if (argc < 3 || !argv || !argv[1]) {
        usage(log);
        return kExitUsage;
    }
    const std::string option = lowerAscii(argv[1]);
    if (option == "--encode")
        return encodeJSON(argc, argv, log);
    if (option == "--decode")
        return decodeZVC(argc, argv, log);
    usage(log);
    return kExitUsage;
}

} // namespace zvc
