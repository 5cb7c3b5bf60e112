// Counts every allocation of the process through replaced global operator new: the frame path (decode,
// tint, draw onto a raster surface) must allocate nothing once the first frame has been drawn.
#include "lamp/CFramePlayer.h"
#include "platform/ui/CQtDrawTarget.h"
#include "resources/ResourceIds.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define NIMO_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NIMO_COUNTS_ALLOCATIONS 0
#endif
#endif
#ifndef NIMO_COUNTS_ALLOCATIONS
#define NIMO_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> g_allocations{0};
} // namespace

#if NIMO_COUNTS_ALLOCATIONS
// The sanitizer has its own allocator, which must stay in charge; there the counting is left out.
void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++g_allocations;
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
#endif

namespace {

TEST(FrameAllocationTest, FramePathAllocatesNothingAfterTheFirstFrame)
{
    if (!NIMO_COUNTS_ALLOCATIONS)
        GTEST_SKIP() << "allocations are not counted under the sanitizer";
    // The lamp's surface: a 70 x 180 raster image, as a window's backing store is.
    QImage surface(70, 180, QImage::Format_RGB32);
    surface.fill(Qt::black);
    QPainter painter(&surface);
    CQtDrawTarget target(painter);

    CFramePlayer player;
    CFrameSequence& sequence = player.AddSequence(1);
    for (int n = 0; n < kFrameCount; ++n)
        sequence.AddFrame(kIdrFirstFrame + n, 0, 0);
    player.SelectSequence(1);

    struct
    {
        const char* name;
        int tint;
    } const cases[] = {{"untinted", kLampBlue}, {"tinted", kLampViolet}};
    for (const auto& c : cases) {
        player.SetColor(c.tint);
        player.SeekFrame(0);
        ASSERT_TRUE(player.Draw(target)) << c.name;
        const long before = g_allocations.load();
        // A whole loop and then some, through SeekFrame as the lamp's clock moves it and Advance.
        for (int n = 1; n <= kFrameCount + 5; ++n) {
            if (n % 2)
                player.SeekFrame(n % kFrameCount);
            else
                player.Advance();
            ASSERT_TRUE(player.Draw(target)) << c.name << " frame " << n;
        }
        EXPECT_EQ(g_allocations.load() - before, 0) << c.name;
    }
    // The counting itself works: a plain allocation is seen.
    const long before = g_allocations.load();
    ::operator delete(::operator new(8));
    EXPECT_EQ(g_allocations.load() - before, 1);
}

} // namespace
