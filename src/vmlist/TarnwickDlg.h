// The main window: the list of stored machines and the commands new, edit,
// delete and start; a context menu on the list adds stop, force off, details
// and clone where the back end offers them, and running machines are marked.
#pragma once

#include "dialog/TemplateDialog.h"

#include <QIcon>
#include <memory>

class CEnterEscapeFilter;
class CRunEventWatch;
class CVmListCtrl;
struct EmulatorOptions;

class CTarnwickDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CTarnwickDlg(QWidget* parent = nullptr);
    ~CTarnwickDlg() override;

    // Builds, initialises and shows the window without entering its modal
    // loop (DoModal does the same and then runs the loop).
    void Open();

    CVmListCtrl* ListCtrl() const { return m_listVm; }
    const QIcon& Icon() const { return m_hIcon; }

    void OnNewVm();
    void OnEditVm();
    void OnDeleteVm();
    void OnStartVm();
    // `row`: the row under the mouse, -1 when the click hit none.
    void OnListClick(int row);
    void OnListDblClick(int row);
    // `row`: the row the menu is for, -1 for none (no menu).
    void OnListContextMenu(int row, const QPoint& globalPos);

protected:
    bool OnInitDialog() override;
    // No OK button, and Enter and Escape never end the window: only the
    // close box does (as cancelled).
    void OnOK() override;
    QWidget* CreateControl(const ControlTemplate& c, QWidget* parent) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Coming back to the window reads the machines' states again.
    bool event(QEvent* event) override;
    // Runs the configuration sheet on `options`; `ownName` is the edited
    // machine's stored name (empty for a new one). IDOK when it ended with OK.
    virtual int RunSheet(const std::string& title, EmulatorOptions& options,
                         const std::string& ownName);

private:
    void SetWindowFrame();
    void InsertColumns();
    void FillList();
    int InsertVmRow(int index, const EmulatorOptions& options);
    void SetVmButtons(bool enable);
    void StartVm(const std::string& name);
    void StopVm(const std::string& name, int32_t force);
    void ShowVmDetails(const std::string& name);
    // Asks the clone's name; its row follows the original's.
    void CloneVm(int row, const std::string& name);
    // Reads every row's state and sets its running indicator: one back-end
    // call per row.
    void RefreshRunStates();

    QIcon m_hIcon;
    CVmListCtrl* m_listVm = nullptr;
    std::unique_ptr<CEnterEscapeFilter> m_keyFilter;
    // The window has been left since the states were last read.
    bool m_statesStale = false;
    // Reads the states again when the back end says a machine started or
    // stopped; null without its optional export.
    CRunEventWatch* m_runEvents = nullptr;
};
