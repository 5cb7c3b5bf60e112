#include "app/CommandLine.h"
#include "RunProcess.h"
#include "ScopedXdgHome.h"

#include <QDirIterator>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

EInfoRequest Find(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "nimo");
    return FindInfoRequest(static_cast<int>(arguments.size()), arguments.data());
}

// What AnswerInfoRequest writes, and its status.
std::pair<int, std::string> Answer(EInfoRequest request)
{
    std::FILE* file = std::tmpfile();
    const int status = AnswerInfoRequest(request, file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    return {status, text};
}

// The version in the About box's dialog template.
std::string AboutBoxVersion()
{
    std::ifstream in(NIMO_SOURCE_DIR "/resources/dialogs/100.dlg");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch match;
    const std::string dialog = text.str();
    return std::regex_search(dialog, match, std::regex("\"Nimo Version ([0-9.]+)\"")) ? match[1].str() : "";
}

struct SFindCase
{
    std::vector<const char*> arguments;
    EInfoRequest expected;
};

} // namespace

TEST(CommandLine, FindsTheFirstInfoRequest)
{
    const SFindCase cases[] = {
        {{}, EInfoRequest::None},
        {{"--help"}, EInfoRequest::Help},
        {{"-h"}, EInfoRequest::Help},
        {{"--version"}, EInfoRequest::Version},
        {{"-Embedding", "--version"}, EInfoRequest::Version},
        {{"stray", "-h", "/Automation"}, EInfoRequest::Help},
        {{"--version", "--help"}, EInfoRequest::Version},
        {{"--help", "--version"}, EInfoRequest::Help},
        // Anything else stays an ignored argument, as before.
        {{"-Embedding"}, EInfoRequest::None},
        {{"/h"}, EInfoRequest::None},
        {{"-H"}, EInfoRequest::None},
        {{"-help"}, EInfoRequest::None},
        {{"--HELP"}, EInfoRequest::None},
        {{"--versions"}, EInfoRequest::None},
        {{"--version=1"}, EInfoRequest::None},
        {{"-hv"}, EInfoRequest::None},
        {{"help"}, EInfoRequest::None},
        {{""}, EInfoRequest::None},
    };
    for (const SFindCase& c : cases) {
        std::string listed;
        for (const char* a : c.arguments)
            listed += std::string(" '") + a + "'";
        EXPECT_EQ(Find(c.arguments), c.expected) << "arguments:" << listed;
    }
}

TEST(CommandLine, ProgramNameIsNoRequest)
{
    const char* arguments[] = {"--help", nullptr};
    EXPECT_EQ(FindInfoRequest(1, arguments), EInfoRequest::None);
}

TEST(CommandLine, VersionIsTheAboutBoxVersion)
{
    const std::string version = AboutBoxVersion();
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(Answer(EInfoRequest::Version), std::make_pair(0, "Nimo " + version + "\n"));
}

TEST(CommandLine, UsageNamesEveryOption)
{
    const auto [status, text] = Answer(EInfoRequest::Help);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text.rfind("Usage: nimo", 0), 0u) << text;
    for (const char* option : {"-Embedding", "-Automation", "-h,", "--help", "--version"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

TEST(CommandLine, UnwritableOutputIsAFailure)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(AnswerInfoRequest(EInfoRequest::Version, full), 1);
    std::fclose(full);
}

// The real program, without a display or a Qt platform, in a fresh home: help and version answer and
// leave no file behind; the lamp itself cannot start there, which shows that the answers came first.
TEST(CommandLine, ProgramAnswersWithoutDisplayOrSettings)
{
    ScopedXdgHome home;
    ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr), qpa("QT_QPA_PLATFORM", nullptr);
    const std::string version = "Nimo " + AboutBoxVersion() + "\n";
    for (const char* argument : {"--help", "-h", "--version"}) {
        const SProcessResult result = RunProcess(NIMO_PROGRAM, {"-Embedding", argument});
        EXPECT_EQ(result.status, 0) << argument;
        EXPECT_EQ(result.err, "") << argument;
        if (std::string(argument) == "--version")
            EXPECT_EQ(result.out, version);
        else
            EXPECT_EQ(result.out.rfind("Usage: nimo", 0), 0u) << argument << ": " << result.out;
    }
    QStringList written;
    for (QDirIterator it(home.Root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        written << it.next();
    EXPECT_TRUE(written.isEmpty()) << written.join(' ').toStdString();

    EXPECT_NE(RunProcess(NIMO_PROGRAM, {"-Embedding"}).status, 0);
}
