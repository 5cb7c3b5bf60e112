#include "platform/core/CResourceModule.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The dynamic loader this program names in its header (PT_INTERP), empty when none.
std::string Interpreter()
{
    std::string path;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_INTERP)
                    *static_cast<std::string*>(data) =
                        reinterpret_cast<const char*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
            return 1;
        },
        &path);
    return path;
}

std::string SelfPath()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
}

} // namespace

TEST(ResourceModule, FindsByTypeAndIdInAModuleOfItsOwn)
{
    static const std::uint8_t a[] = {1, 2, 3};
    static const std::uint8_t b[] = {4, 5};
    const CResourceModule module(
        {{kRtRcdata, 200, a, sizeof a}, {kRtBitmap, 200, b, sizeof b}, {kRtRcdata, 129, b, sizeof b}});

    HRSRC found = FindResource(&module, 200, kRtBitmap);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(LockResource(LoadResource(&module, found)), b);
    EXPECT_EQ(SizeofResource(&module, found), 2u);

    found = FindResource(&module, 200, kRtRcdata);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(LockResource(LoadResource(&module, found)), a);

    EXPECT_EQ(FindResource(&module, 201, kRtRcdata), nullptr);
    EXPECT_EQ(FindResource(&module, 129, kRtBitmap), nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(SizeofResource(&module, nullptr), 0u);
}

TEST(ResourceModule, ProgramModuleHoldsTheStringTable)
{
    HRSRC found = FindResource(nullptr, 61448, kRtString);
    ASSERT_NE(found, nullptr);
    const auto* text = LockResource(LoadResource(nullptr, found));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), SizeofResource(nullptr, found)),
              "Nimo Lamp 2.0.0.4");
}

TEST(ResourceModule, CopiesAreTheResourcesBytes)
{
    // The program's own are read from the program file: every one must come out as it is mapped, the
    // frames in the middle of the table and the string at its end alike.
    std::vector<std::uint8_t> copy(3, 0xEE);
    for (const SResourceEntry& entry : CResourceModule::Program().Entries()) {
        CResourceModule::Program().CopyResource(entry, copy);
        ASSERT_EQ(copy, std::vector<std::uint8_t>(entry.data, entry.data + entry.size))
            << "type " << entry.type << " id " << entry.id;
    }
    // Under the dynamic loader the program file is the loader: then the mapping is copied.
    EXPECT_EQ(CResourceModule::ReadsProgramFile(), std::getenv("NIMO_UNDER_LOADER") == nullptr);
    // A module of bytes in memory is copied from memory.
    static const std::uint8_t bytes[] = {7, 8, 9};
    const CResourceModule module({{kRtRcdata, 5, bytes, sizeof bytes}});
    module.CopyResource(*module.Find(kRtRcdata, 5), copy);
    EXPECT_EQ(copy, (std::vector<std::uint8_t>{7, 8, 9}));
}

TEST(ResourceModule, CopiesAreRightWhenStartedThroughTheLoader)
{
    if (std::getenv("NIMO_UNDER_LOADER"))
        GTEST_SKIP() << "already under the loader";
    const std::string loader = Interpreter();
    const std::string self = SelfPath();
    if (loader.empty() || access(loader.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no dynamic loader to start";
    // This test program again, as "ld.so ./program": /proc/self/exe then names the loader.
    const std::string filter = "--gtest_filter=ResourceModule.CopiesAreTheResourcesBytes";
    std::vector<char*> argv = {const_cast<char*>(loader.c_str()), const_cast<char*>(self.c_str()),
                               const_cast<char*>(filter.c_str()), nullptr};
    setenv("NIMO_UNDER_LOADER", "1", 1);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, loader.c_str(), nullptr, nullptr, argv.data(), environ);
    unsetenv("NIMO_UNDER_LOADER");
    ASSERT_EQ(spawned, 0);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
