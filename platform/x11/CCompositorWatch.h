#pragma once

#include <functional>

#include <QAbstractNativeEventFilter>
#include <QObject>

// Whether a compositing manager draws the screen: an owner of the _NET_WM_CM_S<screen> selection, or
// XWayland (its extension, or before it its outputs' names), where the Wayland compositor always does. The X
// server tells when the owner changes (XFixes selection events), so nothing is polled; without XFixes the
// answer found at start stays.
class CCompositorWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit CCompositorWatch(QObject* parent = nullptr);
    ~CCompositorWatch() override;

    // Compositing now; false off X11.
    static bool IsCompositing();

    // Called on the UI thread with the new state whenever it changes.
    void SetOnChange(std::function<void(bool)> onChange) { m_onChange = std::move(onChange); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void(bool)> m_onChange;
    bool m_compositing = false;
    int m_firstEvent = -1; // XFixes' first event code; -1 when not watching
};
