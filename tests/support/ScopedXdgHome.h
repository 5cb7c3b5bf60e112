#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

// Points HOME and the XDG folders into a fresh temporary folder for one test and puts the old values
// back afterwards, so that no test reads or writes a real desktop's settings or autostart entries.
class ScopedXdgHome final
{
public:
    ScopedXdgHome()
    {
        for (const char* name : kVariables) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::make_pair(true, std::string(old))
                                           : std::make_pair(false, std::string()));
        }
        const QString root = m_dir.path();
        Set("HOME", root + "/home");
        Set("XDG_CONFIG_HOME", root + "/config");
        Set("XDG_CONFIG_DIRS", root + "/etc-xdg:" + root + "/etc-xdg-second");
        Set("XDG_DATA_HOME", root + "/data");
        Set("XDG_DATA_DIRS", root + "/share");
        QDir().mkpath(root + "/home");
    }

    ~ScopedXdgHome()
    {
        for (const auto& [name, value] : m_saved) {
            if (value.first)
                setenv(name, value.second.c_str(), 1);
            else
                unsetenv(name);
        }
    }

    ScopedXdgHome(const ScopedXdgHome&) = delete;
    ScopedXdgHome& operator=(const ScopedXdgHome&) = delete;

    QString Root() const { return m_dir.path(); }
    QString ConfigHome() const { return m_dir.path() + "/config"; }
    QString UserAutostart() const { return ConfigHome() + "/autostart"; }
    QString MachineAutostart() const { return m_dir.path() + "/etc-xdg/autostart"; }

private:
    static void Set(const char* name, const QString& value)
    {
        setenv(name, value.toLocal8Bit().constData(), 1);
    }

    static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",
                                                 "XDG_DATA_HOME", "XDG_DATA_DIRS"};
    QTemporaryDir m_dir;
    std::vector<std::pair<const char*, std::pair<bool, std::string>>> m_saved;
};

// Sets or clears one environment variable for a scope.
class ScopedEnv final
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};
