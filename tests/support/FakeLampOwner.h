#pragma once

#include "lamp/CNimoDlg.h"

#include <vector>

// Stands where the main frame owns the lamp: takes every routed command, records what the lamp asks of
// it, and keeps the start-with-the-system flag in memory. Each ApplyAutostart records the flag as it was
// then, which is what the log-on entry would say.
class CFakeLampOwner final : public CNimoDlg::IOwner
{
public:
    bool RouteCommand(int id) override
    {
        routed.push_back(id);
        return true;
    }
    void RequestClose() override { ++closeRequests; }
    bool IsAutostartEnabled() const override { return autostartOn; }
    void ToggleAutostart() override
    {
        autostartOn = !autostartOn;
        ++toggles;
    }
    void ApplyAutostart() override { applied.push_back(autostartOn); }

    std::vector<int> routed;
    int closeRequests = 0;
    bool autostartOn = false;
    int toggles = 0;
    std::vector<bool> applied;
};
