#include "platform/CResourceModule.h"

#include <string>

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
