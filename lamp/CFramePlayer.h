#pragma once

#include "resources/ResourceIds.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class CDrawTarget;
class CPLAnyDecoder;
class CPLBitmap;
class CPLDIB;
class CResourceModule;

// One frame of a sequence: the resource that holds its picture and where it is drawn.
class CFrameEntry final
{
public:
    CFrameEntry(std::int32_t resourceId, std::int32_t x, std::int32_t y)
        : m_resourceId(resourceId), m_x(x), m_y(y)
    {
    }

    std::int32_t m_resourceId; // only the low 16 bits name the resource
    std::int32_t m_x;
    std::int32_t m_y;
};

// One animation: frames in playing order and the position of the frame to draw next.
class CFrameSequence final
{
public:
    explicit CFrameSequence(std::uint16_t id) : m_id(id) {}

    CFrameEntry& AddFrame(std::int32_t resourceId, std::int32_t x, std::int32_t y);

    std::uint16_t GetId() const { return m_id; }
    int GetFrameCount() const { return static_cast<int>(m_frames.size()); }
    // The frame at the current index; null when the sequence has no frames.
    const CFrameEntry* GetCurrentFrame() const;

    std::uint16_t m_id;
    std::vector<std::unique_ptr<CFrameEntry>> m_frames;
    std::int32_t m_currentIndex = 0;
};

// Plays frame sequences: every Draw decodes the current frame afresh into one reused bitmap, tints it
// and draws it; nothing decoded is kept between paints.
class CFramePlayer final
{
public:
    CFramePlayer();
    ~CFramePlayer();

    CFramePlayer(const CFramePlayer&) = delete;
    CFramePlayer& operator=(const CFramePlayer&) = delete;

    // A second call with the same id returns the sequence that exists.
    CFrameSequence& AddSequence(std::uint16_t id);
    void SelectSequence(std::uint16_t id);
    // One frame forward; past the last frame the loop starts again at the first.
    void Advance();
    // Shows frame index of the current sequence next; an index outside the sequence is ignored.
    void SeekFrame(int index);
    // Draws the current frame at its position. A frame that cannot be decoded draws nothing, so the
    // target keeps the last picture shown; returns whether a frame was drawn.
    bool Draw(CDrawTarget& target);
    // 7 (Random) stores one of 0 to 6 instead; values outside 0 to 7 draw untinted.
    void SetColor(int index);
    int GetColor() const { return m_tint; }
    // Frames drawn for scale device pixels per window pixel are drawn at 1/scale of their size, so that
    // each of their pixels covers one device pixel; 1 (the default) draws them as they are.
    void SetFrameScale(int scale) { m_frameScale = scale > 1 ? scale : 1; }
    int GetFrameScale() const { return m_frameScale; }

    // Where the frames come from; null (the default) is the program's own resources.
    void SetResourceModule(const CResourceModule* module) { m_module = module; }
    const CFrameSequence* GetCurrentSequence() const;
    std::uint16_t GetCurrentSequenceId() const { return m_currentSequence; }

private:
    void ReserveForLargestFrame(const CFrameSequence& sequence);

    std::map<std::uint16_t, std::unique_ptr<CFrameSequence>> m_sequences;
    std::uint16_t m_currentSequence = 0;
    std::unique_ptr<CPLAnyDecoder> m_decoder;
    std::unique_ptr<CPLDIB> m_frame;
    const CResourceModule* m_module = nullptr;
    int m_tint = kLampBlue;
    int m_frameScale = 1;
    std::vector<std::uint8_t> m_frameBytes; // the current frame's file, storage kept between frames
};

// Rewrites the colour channels of every pixel for tint index 1 to 6; any other index changes nothing.
// Only 32- and 24-bit pictures are rewritten, pixel by pixel; the fourth byte stays untouched.
void ApplyTint(CPLBitmap& bitmap, int index);

// One of the tints 0 to 6 from the C library's generator, which start-up seeds.
int PickRandomColor();
