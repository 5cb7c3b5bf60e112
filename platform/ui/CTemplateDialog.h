#pragma once

#include "platform/ui/CDialogTemplate.h"
#include "resources/ResourceIds.h"

#include <QDialog>
#include <QList>
#include <QString>

class CResourceModule;
class QWidget;

// A dialog built from a template: every control a direct child at its converted rectangle, reachable by
// its id, keeping its class name. Running it modally returns the id of the button that closed it.
class CTemplateDialog : public QDialog
{
public:
    explicit CTemplateDialog(const SDialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    // An empty dialog when the resource is missing or malformed.
    explicit CTemplateDialog(std::uint16_t templateId, QWidget* parent = nullptr,
                             const CResourceModule* module = nullptr);
    ~CTemplateDialog() override;

    QWidget* GetDlgItem(int id) const;
    // Runs modally, above the lamp (see OwnedWindows.h).
    int DoModal();
    void EndDialog(int result) { done(result); }

    int BaseUnitX() const { return m_baseX; }
    int BaseUnitY() const { return m_baseY; }
    QRect ToPixels(const QRect& dialogUnits) const;

    // Enter and Escape, and the window's close button, arrive here as on the original platform.
    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }

protected:
    virtual void OnOK() { EndDialog(kIdOk); }
    virtual void OnCancel() { EndDialog(kIdCancel); }
    // A click on any other button (push, radio or check box) with an id.
    virtual void OnCommand(int id) { (void)id; }

private:
    void Build(const SDialogTemplate& dialogTemplate);
    QWidget* CreateControl(const SDialogControl& control);
    void OnButtonClicked(int id);

    int m_baseX = 1;
    int m_baseY = 1;
};

// The class name a window keeps from its template ("Static", "Button", ...); "#32770" for a dialog.
QString GetWindowClassName(const QWidget* window);
// The control id a window keeps from its template; -1 when it has none.
int GetDlgCtrlID(const QWidget* window);
// The direct child windows in creation order; grandchildren are not included.
QList<QWidget*> GetChildWindows(const QWidget* window);
// A window's text: the title of a top-level window, the text or title of a control.
QString GetWindowText(const QWidget* window);
void SetWindowText(QWidget* window, const QString& text);
