// The modal tabbed configuration sheet on one record: General, Disk,
// Peripherals, OS; OK and Cancel only.
#pragma once

#include "app/backend/brevantix.h"

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class CEmulPropertyPage;
class CEmulatorDev;
class CEmulatorDisk;
class CEmulatorPeri;
class CEmulatorOS;
class QTabWidget;

class CEmulatorDlg : public QDialog {
    Q_OBJECT
public:
    // `title`: locale bytes. The record is not owned and must outlive the sheet.
    CEmulatorDlg(const std::string& title, EmulatorOptions* options, QWidget* parent = nullptr);
    ~CEmulatorDlg() override;

    // 1 when the sheet ended with OK, 2 otherwise.
    int DoModal();

    // For the General page's name check while editing: this name counts as free.
    void SetOwnName(const std::string& name);

    // The pages in tab order; for tests and for replacing pages in tests.
    std::vector<CEmulPropertyPage*> Pages() const;
    QTabWidget* Tabs() const { return m_tabs; }
    int ActivePage() const;
    // Switches tabs through the page protocol; false when the current page refused.
    bool SetActivePage(int index);

protected:
    // Sheets with other pages (tests): replaces the four default pages and
    // takes them over.
    CEmulatorDlg(const std::string& title, std::vector<CEmulPropertyPage*> pages,
                 QWidget* parent = nullptr);

    void showEvent(QShowEvent* event) override;
    void reject() override; // Cancel and the close box

private:
    void Init(const std::string& title, std::vector<CEmulPropertyPage*> pages);
    void OnInitDialog();
    void OnOK();
    // The tab bar moved by itself (mouse, keys, wheel): undone at once, then
    // the switch is asked for through the page protocol.
    void OnTabChanged(int index);
    // Asks the current page to deactivate; true when it agrees.
    bool LeaveCurrentPage();
    // Creates the page on first showing, then brings its tab to the front.
    void ShowPage(int index);

    struct Private;
    std::unique_ptr<Private> d;
    QTabWidget* m_tabs = nullptr;
};
