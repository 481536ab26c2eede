#include "config/EmulatorDlg.h"

#include "config/EmulPropertyPage.h"
#include "config/EmulatorDev.h"
#include "config/EmulatorDisk.h"
#include "config/EmulatorOS.h"
#include "config/EmulatorPeri.h"
#include "config/PageServices.h"
#include "dialog/KeyFilter.h"
#include "dialog/MessageBox.h"
#include "dialog/TemplateDialog.h"
#include "dialog/TemplateWindow.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {
constexpr int32_t kTabControlId = 12320;
// The first page's template; its font and size set the sheet's own.
constexpr int32_t kFirstPageTemplate = res::General::id;

struct TabLabel {
    const char* key;
    const char* defaultText;
};
constexpr TabLabel kTabLabels[] = {
    {"EMUL_GEN", "General"},
    {"EMUL_DISK", "Disk"},
    {"EMUL_PERI", "Peripherals"},
    {"EMUL_OS", "OS"},
};
} // namespace

struct CEmulatorDlg::Private {
    std::vector<CEmulPropertyPage*> pages; // owned through the tab widget
    int current = 0;                       // the page the user sees
    int pending = -1;                      // a switch the tab bar asked for, not yet decided
    bool switching = false;                // the tab widget is moved by the sheet itself
    bool busy = false;                     // a page is deciding whether it may be left
    bool initialised = false;
};

CEmulatorDlg::CEmulatorDlg(const std::string& title, EmulatorOptions* options, QWidget* parent)
    : QDialog(parent), d(std::make_unique<Private>()) {
    Init(title, {new CEmulatorDev(options), new CEmulatorDisk(&options->disk),
                 new CEmulatorPeri(&options->peri), new CEmulatorOS(&options->os)});
}

CEmulatorDlg::CEmulatorDlg(const std::string& title, std::vector<CEmulPropertyPage*> pages,
                           QWidget* parent)
    : QDialog(parent), d(std::make_unique<Private>()) {
    Init(title, std::move(pages));
}

CEmulatorDlg::~CEmulatorDlg() {
    // Removing the pages moves the tab widget's index; none of that is a
    // switch of the user's.
    disconnect(m_tabs, nullptr, this, nullptr);
    delete m_tabs;
}

void CEmulatorDlg::Init(const std::string& title, std::vector<CEmulPropertyPage*> pages) {
    setWindowTitle(FromLocal(title));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    if (const DialogTemplate* t = FindDialogTemplate(kFirstPageTemplate))
        setFont(DialogFont(*t));
    const DialogUnits du = DialogUnits::ForFont(font());

    // Stacking order: tab control, OK, Cancel.
    m_tabs = new QTabWidget(this);
    SetDlgCtrlID(m_tabs, kTabControlId);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetDlgCtrlID(ok, IDOK);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetDlgCtrlID(cancel, IDCANCEL);
    const QSize buttonSize = du.ToPixels(0, 0, 50, 14).size();
    for (QPushButton* button : {ok, cancel}) {
        // Enter presses nothing in the sheet, so no button shows as default.
        button->setAutoDefault(false);
        button->setMinimumSize(buttonSize);
    }

    d->pages = std::move(pages);
    for (CEmulPropertyPage* page : d->pages)
        m_tabs->addTab(page, QString());

    const QRect margin = du.ToPixels(7, 7, 4, 4);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin.x(), margin.y(), margin.x(), margin.y());
    layout->setSpacing(margin.height());
    // Fixed size: the largest page plus tabs and buttons.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_tabs);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(margin.width());
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    new CEnterEscapeFilter(this); // owned by the sheet

    connect(m_tabs, &QTabWidget::currentChanged, this, &CEmulatorDlg::OnTabChanged);
    connect(ok, &QPushButton::clicked, this, &CEmulatorDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &CEmulatorDlg::reject);
}

int CEmulatorDlg::DoModal() {
    OnInitDialog();
    return exec() == IDOK ? IDOK : IDCANCEL;
}

void CEmulatorDlg::SetOwnName(const std::string& name) {
    for (CEmulPropertyPage* page : d->pages) {
        if (auto* general = dynamic_cast<CEmulatorDev*>(page)) {
            general->SetOwnName(name);
            return;
        }
    }
}

std::vector<CEmulPropertyPage*> CEmulatorDlg::Pages() const {
    return d->pages;
}

int CEmulatorDlg::ActivePage() const {
    return d->current;
}

bool CEmulatorDlg::SetActivePage(int index) {
    if (index < 0 || index >= static_cast<int>(d->pages.size()) || d->busy)
        return false;
    if (index == d->current)
        return true;
    if (!d->initialised) {
        // Before the sheet opens this only picks the page it opens on.
        const QScopedValueRollback guard(d->switching, true);
        m_tabs->setCurrentIndex(index);
        d->current = index;
        return true;
    }
    if (!LeaveCurrentPage())
        return false;
    ShowPage(index);
    return true;
}

void CEmulatorDlg::showEvent(QShowEvent* event) {
    // Also when shown by other means than DoModal.
    OnInitDialog();
    QDialog::showEvent(event);
}

void CEmulatorDlg::reject() {
    // A page still deciding about OK or a switch finishes first.
    if (d->busy)
        return;
    done(IDCANCEL);
}

void CEmulatorDlg::OnInitDialog() {
    if (d->initialised)
        return;
    d->initialised = true;
    if (!d->pages.empty())
        ShowPage(d->current);
    TranslateWindow(this, -1);
    const int labelled = std::min<int>(m_tabs->count(), std::size(kTabLabels));
    for (int i = 0; i < labelled; ++i) {
        std::string text;
        GetLangText(kTabLabels[i].key, kTabLabels[i].defaultText, text);
        m_tabs->setTabText(i, FromLocal(text));
    }
}

void CEmulatorDlg::OnOK() {
    if (d->busy || !LeaveCurrentPage())
        return;
    // The pages write disjoint blocks; pages never shown keep the back end's.
    for (CEmulPropertyPage* page : d->pages) {
        if (page->IsCreated())
            page->OnOK();
    }
    done(IDOK);
}

void CEmulatorDlg::OnTabChanged(int index) {
    if (d->switching)
        return;
    {
        // Back before anything is painted: the page being left decides first.
        const QScopedValueRollback guard(d->switching, true);
        m_tabs->setCurrentIndex(d->current);
    }
    if (d->busy || index < 0)
        return;
    // Decided outside the tab bar's own event handling, as the page may show
    // a message box; repeated requests before then collapse into the last.
    const bool queued = d->pending >= 0;
    d->pending = index;
    if (queued)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const int wanted = d->pending;
            d->pending = -1;
            SetActivePage(wanted);
        },
        Qt::QueuedConnection);
}

bool CEmulatorDlg::LeaveCurrentPage() {
    if (d->current < 0 || d->current >= static_cast<int>(d->pages.size()))
        return true;
    CEmulPropertyPage* page = d->pages[d->current];
    if (!page->IsCreated())
        return true;
    const QScopedValueRollback guard(d->busy, true);
    return page->OnKillActive();
}

void CEmulatorDlg::ShowPage(int index) {
    d->pages[index]->Create();
    const QScopedValueRollback guard(d->switching, true);
    m_tabs->setCurrentIndex(index);
    d->current = index;
}
