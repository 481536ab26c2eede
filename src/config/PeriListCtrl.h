// The Peripherals page's list of further peripherals (res::Peripherals::PeriList).
#pragma once

#include "dialog/ListViewCtrl.h"

class CPeriListCtrl : public CListViewCtrl {
    Q_OBJECT
public:
    explicit CPeriListCtrl(QWidget* parent = nullptr);
    ~CPeriListCtrl() override;
};
