// The main window: the list of stored machines and the commands new, edit,
// delete and start.
#pragma once

#include "TemplateDialog.h"

class CTarnwickDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CTarnwickDlg(QWidget* parent = nullptr);
    ~CTarnwickDlg() override;
};
