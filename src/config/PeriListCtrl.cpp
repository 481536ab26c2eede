#include "config/PeriListCtrl.h"

CPeriListCtrl::CPeriListCtrl(QWidget* parent) : CListViewCtrl(parent) {}

CPeriListCtrl::~CPeriListCtrl() = default;
