#include "lamp/LampArtwork.h"

#include "lamp/CFramePlayer.h"

void UseLampFrames(CFramePlayer& player, std::uint16_t sequenceId, const SLampArtwork& artwork)
{
    CFrameSequence& sequence = player.AddSequence(sequenceId);
    if (sequence.GetFrameCount() != kFrameCount) {
        sequence.m_frames.clear();
        sequence.m_currentIndex = 0;
        for (int n = 0; n < kFrameCount; ++n)
            sequence.AddFrame(artwork.firstFrame + n, 0, 0);
    } else {
        for (int n = 0; n < kFrameCount; ++n)
            sequence.m_frames[std::size_t(n)]->m_resourceId = artwork.firstFrame + n;
    }
    player.SetFrameScale(artwork.scale);
}
