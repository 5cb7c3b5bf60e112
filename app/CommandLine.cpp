#include "app/CommandLine.h"

#include "NimoVersion.h"

#include <string>
#include <string_view>

namespace {

const char kUsage[] =
    "Usage: nimo [-Embedding | -Automation]\n"
    "       nimo -h | --help | --version\n"
    "\n"
    "Puts a motion lamp on the desktop. Drag it with the left mouse button; a right click opens its menu.\n"
    "\n"
    "Options:\n"
    "  -Embedding, -Automation  start without the splash picture (also written with \"/\", in any letter case)\n"
    "  -h, --help               print this help and exit\n"
    "  --version                print the version and exit\n"
    "\n"
    "Other arguments are ignored. See nimo(1) for the files the program keeps.\n";

} // namespace

EInfoRequest FindInfoRequest(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i] ? argv[i] : "";
        if (argument == "-h" || argument == "--help")
            return EInfoRequest::Help;
        if (argument == "--version")
            return EInfoRequest::Version;
    }
    return EInfoRequest::None;
}

int AnswerInfoRequest(EInfoRequest request, std::FILE* out)
{
    std::string text;
    if (request == EInfoRequest::Help)
        text = kUsage;
    else if (request == EInfoRequest::Version)
        text = std::string("Nimo ") + kNimoVersion + "\n";
    // A full disk or a closed pipe must not pass for a printed answer.
    const bool written = std::fputs(text.c_str(), out) >= 0 && std::fflush(out) == 0 && !std::ferror(out);
    if (!written) {
        std::fputs("nimo: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
