#pragma once

#include "platform/desktop/IDesktopServices.h"

#include <functional>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTimer>

// Stands in for the desktop while it lives: records every request and answers with the results a test
// chose, so lamp and sharing tests see what was asked without starting programs.
class RecordingDesktopServices final : public IDesktopServices
{
public:
    RecordingDesktopServices() : m_previous(IDesktopServices::Install(this)) {}
    ~RecordingDesktopServices() override { IDesktopServices::Install(m_previous); }

    RecordingDesktopServices(const RecordingDesktopServices&) = delete;
    RecordingDesktopServices& operator=(const RecordingDesktopServices&) = delete;

    int OpenAddress(const QString& address, int showCommand) override
    {
        opened.push_back(address);
        showCommands.push_back(showCommand);
        return openResult;
    }
    bool HasMailProgram() override
    {
        ++mailQueries;
        return mailProgram;
    }
    bool IsMailConfigured() override
    {
        ++mailQueries;
        return mailConfigured;
    }
    void SendMail(const SMailMessage& message, SMailHandOff report) override
    {
        mails.push_back(message);
        if (onSendMail)
            onSendMail();
        // As the desktop does: the report comes from the event loop, never from inside SendMail.
        handOff = std::move(report);
        if (!holdMail)
            QTimer::singleShot(0, QCoreApplication::instance(), [this] { FinishMail(mailResult); });
    }
    // Tells the caller of a held mail that the mail client has it.
    void HandOverMail()
    {
        if (auto handedOver = std::exchange(handOff.handedOver, nullptr))
            handedOver();
    }
    // Tells the caller of a held mail its outcome.
    void FinishMail(int status)
    {
        HandOverMail();
        if (auto finished = std::exchange(handOff.finished, nullptr))
            finished(status);
    }
    bool WriteAutostart(const QString& name, const QString& programPath) override
    {
        autostartCalls.push_back("write " + name + " " + programPath);
        return autostartResult;
    }
    bool RemoveAutostart(const QString& name, bool machineWide) override
    {
        autostartCalls.push_back((machineWide ? "remove machine " : "remove ") + name);
        return autostartResult;
    }

    // What the next calls answer.
    int openResult = kOpenSucceeded;
    bool mailProgram = true;
    bool mailConfigured = true;
    int mailResult = 0;
    bool holdMail = false; // the test calls HandOverMail and FinishMail itself
    bool autostartResult = true;

    // What was asked, in order.
    QStringList opened;
    std::vector<int> showCommands;
    std::vector<SMailMessage> mails;
    int mailQueries = 0;                // HasMailProgram and IsMailConfigured together
    std::function<void()> onSendMail;   // runs when the mail is given to the desktop
    SMailHandOff handOff;               // the report of the last mail, until told
    QStringList autostartCalls;

private:
    IDesktopServices* m_previous;
};
