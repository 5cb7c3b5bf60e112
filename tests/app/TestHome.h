#pragma once

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

// HOME and the XDG folders inside a fresh temporary folder for one test, restored afterwards: settings
// and autostart entries written by the code under test never reach a real desktop.
class TestHome final
{
public:
    TestHome()
    {
        for (const char* name : kVariables) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::make_pair(true, std::string(old))
                                           : std::make_pair(false, std::string()));
        }
        const QString root = m_dir.path();
        for (const char* sub : {"home", "config", "etc-xdg", "data", "share"})
            QDir().mkpath(root + "/" + sub);
        Set("HOME", root + "/home");
        Set("XDG_CONFIG_HOME", root + "/config");
        Set("XDG_CONFIG_DIRS", root + "/etc-xdg");
        Set("XDG_DATA_HOME", root + "/data");
        Set("XDG_DATA_DIRS", root + "/share");
    }

    ~TestHome()
    {
        for (const auto& [name, value] : m_saved) {
            if (value.first)
                setenv(name, value.second.c_str(), 1);
            else
                unsetenv(name);
        }
    }

    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString ConfigHome() const { return m_dir.path() + "/config"; }
    QString UserAutostart() const { return ConfigHome() + "/autostart"; }

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
