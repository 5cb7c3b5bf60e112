#include "platform/core/CResourceModule.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

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
    // A module of bytes in memory is copied from memory.
    static const std::uint8_t bytes[] = {7, 8, 9};
    const CResourceModule module({{kRtRcdata, 5, bytes, sizeof bytes}});
    module.CopyResource(*module.Find(kRtRcdata, 5), copy);
    EXPECT_EQ(copy, (std::vector<std::uint8_t>{7, 8, 9}));
}
