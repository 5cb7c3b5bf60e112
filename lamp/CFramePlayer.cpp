#include "lamp/CFramePlayer.h"

#include "picture/CPLAnyDecoder.h"
#include "picture/CPLBitmap.h"
#include "picture/CTextException.h"
#include "platform/core/CDrawTarget.h"
#include "platform/core/CResourceModule.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <new>
#include <utility>

namespace {

constexpr int kTintCount = 7;

// Rewrites every pixel of the rows with one tint's channel rule (p[0] blue, p[1] green, p[2] red); the
// rule is chosen once, not per pixel, so that the loop stays a plain byte shuffle.
template <int BytesPerPixel, typename Rule> void RewritePixels(CPLBitmap& bitmap, Rule rule)
{
    for (std::uint8_t* row : bitmap.m_rows) {
        if (!row)
            continue;
        std::uint8_t* const end = row + std::size_t(bitmap.m_width) * BytesPerPixel;
        for (std::uint8_t* p = row; p != end; p += BytesPerPixel)
            rule(p);
    }
}

template <int BytesPerPixel> void TintRows(CPLBitmap& bitmap, int index)
{
    switch (index) {
    case kLampOrange:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { std::swap(p[2], p[0]); });
        break;
    case kLampPink:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { p[2] = p[0]; });
        break;
    case kLampViolet:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { std::swap(p[2], p[1]); });
        break;
    case kLampGreen:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { p[0] = p[2]; });
        break;
    case kLampTurquoise:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { p[0] = p[1]; });
        break;
    case kLampMistyrose:
        RewritePixels<BytesPerPixel>(bitmap, [](std::uint8_t* p) { p[2] = p[1]; });
        break;
    default:
        break;
    }
}

} // namespace

CFrameEntry& CFrameSequence::AddFrame(std::int32_t resourceId, std::int32_t x, std::int32_t y)
{
    m_frames.push_back(std::make_unique<CFrameEntry>(resourceId, x, y));
    return *m_frames.back();
}

const CFrameEntry* CFrameSequence::GetCurrentFrame() const
{
    if (m_currentIndex < 0 || m_currentIndex >= GetFrameCount())
        return nullptr;
    return m_frames[static_cast<std::size_t>(m_currentIndex)].get();
}

CFramePlayer::CFramePlayer()
    : m_decoder(std::make_unique<CPLAnyDecoder>()), m_frame(std::make_unique<CPLDIB>())
{
}

CFramePlayer::~CFramePlayer() = default;

CFrameSequence& CFramePlayer::AddSequence(std::uint16_t id)
{
    auto& slot = m_sequences[id];
    if (!slot)
        slot = std::make_unique<CFrameSequence>(id);
    return *slot;
}

void CFramePlayer::SelectSequence(std::uint16_t id)
{
    m_currentSequence = id;
    const auto found = m_sequences.find(id);
    if (found != m_sequences.end())
        found->second->m_currentIndex = 0;
}

const CFrameSequence* CFramePlayer::GetCurrentSequence() const
{
    const auto found = m_sequences.find(m_currentSequence);
    return found == m_sequences.end() ? nullptr : found->second.get();
}

void CFramePlayer::Advance()
{
    const auto found = m_sequences.find(m_currentSequence);
    if (found == m_sequences.end())
        return;
    CFrameSequence& sequence = *found->second;
    ++sequence.m_currentIndex;
    if (sequence.m_currentIndex >= sequence.GetFrameCount() || sequence.m_currentIndex < 0)
        sequence.m_currentIndex = 0;
}

void CFramePlayer::SeekFrame(int index)
{
    const auto found = m_sequences.find(m_currentSequence);
    if (found != m_sequences.end() && index >= 0 && index < found->second->GetFrameCount())
        found->second->m_currentIndex = index;
}

bool CFramePlayer::Draw(CDrawTarget& target)
{
    const CFrameSequence* sequence = GetCurrentSequence();
    const CFrameEntry* entry = sequence ? sequence->GetCurrentFrame() : nullptr;
    if (!entry)
        return false;
    // The frame's bytes are copied from the program file, not read through its mapping: a hundred frames
    // read once a loop would otherwise stay resident, half a megabyte for the one picture in use.
    const HRSRC found = FindResource(m_module, std::uint16_t(entry->m_resourceId & 0xFFFF), kRtRcdata);
    if (!found || found->size > std::size_t(INT_MAX))
        return false;
    if (m_frameBytes.capacity() < found->size)
        ReserveForLargestFrame(*sequence);
    (m_module ? *m_module : CResourceModule::Program()).CopyResource(*found, m_frameBytes);
    try {
        m_decoder->DecodeMemory(m_frameBytes.data(), int(m_frameBytes.size()), *m_frame, 0);
    } catch (const CTextException&) {
        // The frame bitmap may hold a half-decoded picture now: draw nothing rather than that.
        return false;
    } catch (const std::exception&) {
        // Out of memory or any other library failure: like an undecodable picture.
        return false;
    }
    ApplyTint(*m_frame, m_tint);
    if (m_frameScale == 1)
        return m_frame->Draw(target, entry->m_x, entry->m_y, kSrcCopy) != 0;
    return m_frame->DrawStretched(target, entry->m_x, entry->m_y, m_frame->m_width / m_frameScale,
                                  m_frame->m_height / m_frameScale, kSrcCopy) != 0;
}

void CFramePlayer::ReserveForLargestFrame(const CFrameSequence& sequence)
{
    // Frames differ in size by a few bytes: growing to each new largest one would allocate now and then
    // in the middle of the loop.
    std::size_t largest = 0;
    for (const auto& entry : sequence.m_frames) {
        const HRSRC found = FindResource(m_module, std::uint16_t(entry->m_resourceId & 0xFFFF), kRtRcdata);
        if (found && found->size <= std::size_t(INT_MAX))
            largest = std::max(largest, found->size);
    }
    m_frameBytes.reserve(largest);
}

void CFramePlayer::SetColor(int index)
{
    m_tint = index == kLampRandom ? PickRandomColor() : index;
}

void ApplyTint(CPLBitmap& bitmap, int index)
{
    if (index < kLampOrange || index > kLampMistyrose)
        return;
    const int depth = bitmap.m_depth;
    // Pictures with a colour table are left alone: their pixels are indices, not colours.
    if (depth != 24 && depth != 32)
        return;
    // The row table is what says where rows are; a bitmap whose table does not match its height is
    // not touched rather than written past its rows.
    if (bitmap.m_width <= 0 || bitmap.m_rows.size() != static_cast<std::size_t>(bitmap.m_height))
        return;
    if (depth == 32)
        TintRows<4>(bitmap, index);
    else
        TintRows<3>(bitmap, index);
}

int PickRandomColor()
{
    return std::rand() % kTintCount;
}
