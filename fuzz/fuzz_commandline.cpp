// The command-line parser on an argument vector split from the input at NUL
// bytes. Each argument is its own allocation of exactly its size, so reading
// past an argument or past the vector is caught. The settings and the result
// are compared with a plain model of the option table.
#include "FuzzCheck.h"

#include "app/CommandLine.h"
#include "app/PortalSettings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::size_t maxArguments = 64;

std::string LowerAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

struct Model
{
    int result = 0;
    DownloadMode downloadMode = None;
    std::string uuid;
    std::string logFile;
    bool startGame = false;
};

Model RunModel(const std::vector<std::string> &arguments)
{
    Model model;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string option = LowerAscii(arguments[i]);
        if (option == "-download") {
            model.downloadMode = Download;
        } else if (option == "-patch") {
            model.downloadMode = Patch;
        } else if (option == "-repair") {
            model.downloadMode = Repair;
        } else if (option == "-start") {
            model.startGame = true;
        } else if (option == "-log" || option == "-uuid") {
            if (i + 1 == arguments.size()) {
                model.result = 1; // the value is missing
                break;
            }
            (option == "-log" ? model.logFile : model.uuid) = arguments[++i];
        } else {
            model.result = 1; // help, or not an option
            break;
        }
    }
    return model;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser prints help texts; they are not what is under test.
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Arguments cannot hold a NUL byte, so NUL separates them.
    std::vector<std::string> arguments;
    const char *text = reinterpret_cast<const char *>(data);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size && arguments.size() < maxArguments; ++i) {
        if (i == size || text[i] == '\0') {
            arguments.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }

    std::vector<std::string> all = {"zol_portal"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<std::unique_ptr<char[]>> storage;
    std::vector<char *> argv;
    for (const std::string &argument : all) {
        storage.emplace_back(new char[argument.size() + 1]);
        std::memcpy(storage.back().get(), argument.c_str(), argument.size() + 1);
        argv.push_back(storage.back().get());
    }
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);

    PortalSettings settings;
    const int result = ParseCommandLine(argc, argv.data(), settings);

    const Model model = RunModel(arguments);
    FUZZ_CHECK(result == model.result);
    FUZZ_CHECK(settings.downloadMode == model.downloadMode);
    FUZZ_CHECK(settings.uuid == model.uuid);
    FUZZ_CHECK(settings.logFile == model.logFile);
    FUZZ_CHECK(settings.startGame == model.startGame);
    // The arguments are read, never written.
    for (int i = 1; i < argc; ++i)
        FUZZ_CHECK(arguments[static_cast<std::size_t>(i - 1)] == argv[static_cast<std::size_t>(i)]);
    return 0;
}
