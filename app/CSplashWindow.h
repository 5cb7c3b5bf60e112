#pragma once

#include <memory>

#include <QBasicTimer>
#include <QWidget>

class CPLDIB;
class QEvent;
class QObject;

// The product picture shown for a moment while the lamp comes up; gone after two seconds or at the first
// key or button press on any of the program's windows, a press that it swallows.
class CSplashWindow final : public QWidget
{
public:
    static constexpr int kShowMilliseconds = 2000;

    static void EnableSplash(bool enable);
    static bool IsSplashEnabled();
    // Shows the splash unless it is switched off or already up; a picture that cannot be decoded means no
    // splash at all. owner is the hidden main frame.
    static void ShowSplash(QWidget* owner);
    // True when the event is consumed: a key or button press while the splash is up.
    static bool FilterMessage(QObject* receiver, QEvent* event);
    // The one splash window while it is up, else null.
    static CSplashWindow* Current();

    ~CSplashWindow() override;

    void HideSplash();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    explicit CSplashWindow(QWidget* owner);

    // The product picture drawn for the window's scale, the 1x one where that one is missing; false
    // when neither decodes.
    bool LoadPicture();
    void CentreOnWorkArea();

    std::unique_ptr<CPLDIB> m_bitmap;
    int m_scale = 1; // device pixels per window pixel the picture is drawn for
    QBasicTimer m_timer;
    QWidget* m_owner;
};
