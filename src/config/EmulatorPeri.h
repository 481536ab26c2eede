// The Peripherals page: serial port and up to MAX_PERI further peripherals.
#pragma once

#include "app/backend/brevantix.h"
#include "config/EmulPropertyPage.h"

#include <string>

class CPeriListCtrl;

class CEmulatorPeri : public CEmulPropertyPage {
    Q_OBJECT
public:
    explicit CEmulatorPeri(PeriOptions* block, QWidget* parent = nullptr);
    ~CEmulatorPeri() override;

    void OnOK() override;

    // The PeriList control once the page exists; while the page is open its rows are
    // the only copy of the peripheral table.
    CPeriListCtrl* PeriList() const { return m_pPeriList; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    QWidget* CreateControl(const ControlTemplate& c, QWidget* parent) override;

private:
    void SetupList();
    void LoadBlock();
    void EnableSerialControls();
    void EnableRowButtons(bool enable);
    // A row's text as the record takes it: at most the field's 259 bytes.
    std::string RowText(int row, int column) const;
    void PutRow(int index, const std::string& periType, const std::string& param);

    void OnSerialEnable();
    void OnListClick(int row);
    void OnListDblClick(int row);
    void OnAdd();
    void OnEdit();
    void OnDelete();

    PeriOptions* m_pBlock;
    CPeriListCtrl* m_pPeriList = nullptr;
    int32_t m_nSerialEnable = 0;
    std::string m_strSerialType;
    std::string m_strSerialParam;
};
