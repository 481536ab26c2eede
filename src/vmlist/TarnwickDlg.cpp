#include "TarnwickDlg.h"

CTarnwickDlg::CTarnwickDlg(QWidget* parent) : CTemplateDialog(102, parent) {}

CTarnwickDlg::~CTarnwickDlg() = default;
