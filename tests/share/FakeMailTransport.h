#pragma once

#include "share/IMailTransport.h"

#include <functional>
#include <vector>

// A mail program that records what it is handed and answers as told.
class CFakeMailTransport final : public IMailTransport
{
public:
    bool HasMailProgram() override
    {
        ++programQueries;
        return hasProgram;
    }
    bool IsMailConfigured() override
    {
        ++configQueries;
        return configured;
    }
    int SendMail(const SMailMessage& order) override
    {
        sent.push_back(order);
        if (whileSending)
            whileSending();
        return exitStatus;
    }

    bool hasProgram = true;
    bool configured = true;
    int exitStatus = 0;
    std::function<void()> whileSending;
    int programQueries = 0;
    int configQueries = 0;
    std::vector<SMailMessage> sent;
};
