#include "vmlist/TarnwickDlg.h"

#include "app/TarnwickApp.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ListProtocol.h"
#include "base/FormatText.h"
#include "config/CloneDlg.h"
#include "config/EmulatorDlg.h"
#include "config/RecordText.h"
#include "dialog/AppIcon.h"
#include "dialog/KeyFilter.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/EmulatorErrDlg.h"
#include "vmlist/EmulatorInfoDlg.h"
#include "vmlist/RunEventWatch.h"
#include "vmlist/VmContextMenu.h"
#include "vmlist/VmListCtrl.h"
#include "vmlist/VmRunState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>
#include <cstdio>
#include <cstring>

namespace {

// Falls back on the toolkit's icons when the build stored none.
QIcon LoadAppIcon(const QWidget* window) {
    if (QIcon icon = AppIcon(); !icon.isNull())
        return icon;
    if (!QApplication::windowIcon().isNull())
        return QApplication::windowIcon();
    return window->style()->standardIcon(QStyle::SP_ComputerIcon);
}

bool IsEnterOrEscape(const QKeyEvent* event) {
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

// Start-up measurements: with TARNWICK_QUIT_WHEN_SHOWN set, the window closes
// itself once its filled list has been painted, and says how many rows it held.
class CQuitWhenPainted : public QObject {
public:
    CQuitWhenPainted(CTarnwickDlg* window, CVmListCtrl* list)
        : QObject(window), m_window(window), m_list(list) {
        list->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            std::printf("tarnwick: shown with %d rows\n", m_list->GetItemCount());
            std::fflush(stdout);
            QMetaObject::invokeMethod(m_window, &QDialog::reject, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CTarnwickDlg* m_window;
    CVmListCtrl* m_list;
    bool m_done = false;
};

} // namespace

CTarnwickDlg::CTarnwickDlg(QWidget* parent)
    : CTemplateDialog(res::Main::id, parent),
      m_keyFilter(std::make_unique<CEnterEscapeFilter>(this)) {
    m_hIcon = LoadAppIcon(this);
}

CTarnwickDlg::~CTarnwickDlg() = default;

void CTarnwickDlg::Open() {
    EnsureBuilt();
    OnInitDialog();
}

QWidget* CTarnwickDlg::CreateControl(const ControlTemplate& c, QWidget* parent) {
    if (c.id != res::Main::List::id || c.kind != CtlKind::List)
        return CTemplateDialog::CreateControl(c, parent);
    m_listVm = new CVmListCtrl(parent);
    connect(m_listVm, &CListViewCtrl::Clicked, this, &CTarnwickDlg::OnListClick);
    connect(m_listVm, &CListViewCtrl::DoubleClicked, this, &CTarnwickDlg::OnListDblClick);
    connect(m_listVm, &CVmListCtrl::ContextMenuRequested, this, &CTarnwickDlg::OnListContextMenu);
    return m_listVm;
}

bool CTarnwickDlg::OnInitDialog() {
    UpdateData(false);
    SetWindowFrame();
    setWindowIcon(m_hIcon);
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    show();
    TranslateTexts();

    const std::pair<int32_t, void (CTarnwickDlg::*)()> commands[] = {
        {res::Main::New::id, &CTarnwickDlg::OnNewVm},
        {res::Main::Edit::id, &CTarnwickDlg::OnEditVm},
        {res::Main::Delete::id, &CTarnwickDlg::OnDeleteVm},
        {res::Main::Start::id, &CTarnwickDlg::OnStartVm},
    };
    for (const auto& [id, handler] : commands) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            connect(button, &QAbstractButton::clicked, this, handler, Qt::UniqueConnection);
    }

    if (m_listVm) {
        m_listVm->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_listVm->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_listVm->setSortingEnabled(false);
        m_listVm->SetGridLines(true);
        m_listVm->SetSelectionOnlyWhenFocused(true);
        InsertColumns();
        FillList();
        RefreshRunStates();
        if (!m_runEvents && (m_runEvents = CRunEventWatch::Create(this)))
            connect(m_runEvents, &CRunEventWatch::Changed, this, &CTarnwickDlg::RefreshRunStates);
        if (qEnvironmentVariableIsSet("TARNWICK_QUIT_WHEN_SHOWN"))
            new CQuitWhenPainted(this, m_listVm);
    }
    SetVmButtons(false);
    return true;
}

void CTarnwickDlg::SetWindowFrame() {
    // A normal top-level window (task bar, minimise box) that cannot be
    // resized or maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void CTarnwickDlg::InsertColumns() {
    std::string headings[4];
    GetLangText("VM_NAME", "Name", headings[0]);
    GetLangText("VM_ARCH", "Arch", headings[1]);
    GetLangText("VM_TARGET", "Target", headings[2]);
    GetLangText("VM_CPU", "CPU", headings[3]);

    m_listVm->ListRows().Clear();
    const int width = m_listVm->ClientWidth() / 4;
    for (int column = 0; column < 4; ++column)
        m_listVm->InsertColumn(column, headings[column], width);
}

void CTarnwickDlg::FillList() {
    const char* extra = theApp.ExtraArgOrNull();
    const auto names = FetchList([extra](char* buffer, uint32_t capacity, uint32_t slotSize) {
        return Emu::EnumAllEmulator(extra, buffer, capacity, slotSize);
    });
    if (!names)
        return;

    std::vector<VmRow> rows;
    rows.reserve(names->size());
    EmulatorOptions options;
    for (const std::string& name : *names) {
        std::memset(&options, 0, sizeof options);
        if (Emu::GetEmulatorOptions(name.c_str(), &options) != 0)
            rows.push_back(VmRow::FromRecord(options));
    }
    m_listVm->AppendRows(rows);
}

int CTarnwickDlg::InsertVmRow(int index, const EmulatorOptions& options) {
    return m_listVm->InsertRow(index, VmRow::FromRecord(options));
}

void CTarnwickDlg::SetVmButtons(bool enable) {
    EnableDlgItem(this, res::Main::Edit::id, enable);
    EnableDlgItem(this, res::Main::Delete::id, enable);
    EnableDlgItem(this, res::Main::Start::id, enable);
}

void CTarnwickDlg::OnNewVm() {
    if (!m_listVm)
        return;
    std::string title;
    GetLangText("NEW_VM", "Create New Virtual Machine", title);

    EmulatorOptions options;
    std::memset(&options, 0, sizeof options);
    Emu::SetEmulatorOptDefault(theApp.ExtraArgOrNull(), &options);

    if (RunSheet(title, options, std::string()) == IDOK && options.general.name[0] != '\0') {
        Emu::SaveEmulatorOptions(&options);
        int index = m_listVm->GetFirstSelected();
        if (index < 0)
            index = m_listVm->GetItemCount();
        InsertVmRow(index, options);
    }
    RefreshRunStates();
}

void CTarnwickDlg::OnEditVm() {
    if (!m_listVm)
        return;
    std::string format;
    GetLangText("EDIT_VM", "Edit Virutal Machine %s", format);

    const int row = m_listVm->GetFirstSelected();
    if (row < 0)
        return;
    const std::string name = m_listVm->ListRows().Text(row, 0);

    EmulatorOptions options;
    std::memset(&options, 0, sizeof options);
    Emu::GetEmulatorOptions(name.c_str(), &options);
    // The machine stays stored while the sheet is open, so nothing is lost
    // when the edit is cancelled or the manager ends meanwhile; the sheet is
    // told that the machine's own name is not taken.
    const std::string originalArch = GetField(options.general.arch);

    if (RunSheet(base::FormatWithText(format, name), options, name) == IDOK) {
        Emu::DelEmulatorOptions(name.c_str(), originalArch.c_str());
        Emu::SaveEmulatorOptions(&options);
        // The new row has no indicator until the states are read below.
        m_listVm->DeleteItem(row);
        InsertVmRow(row, options);
    }
    RefreshRunStates();
}

int CTarnwickDlg::RunSheet(const std::string& title, EmulatorOptions& options,
                           const std::string& ownName) {
    CEmulatorDlg sheet(title, &options, this);
    if (!ownName.empty())
        sheet.SetOwnName(ownName);
    return sheet.DoModal();
}

void CTarnwickDlg::OnDeleteVm() {
    if (!m_listVm)
        return;
    const int row = m_listVm->GetFirstSelected();
    if (row < 0)
        return;
    const std::string name = m_listVm->ListRows().Text(row, 0);
    const std::string arch = m_listVm->ListRows().Text(row, 1);
    // Its row goes: an emulator left running would be out of sight and out
    // of reach. (The back end cannot do it: an edit deletes too.)
    if (const VmRunState state = ReadRunState(name);
        state == VmRunState::Running || state == VmRunState::Paused)
        Emu::StopEmulator(name.c_str(), 1);
    Emu::DelEmulatorOptions(name.c_str(), arch.c_str());
    m_listVm->DeleteItem(row);
    SetVmButtons(false);
    RefreshRunStates();
}

void CTarnwickDlg::OnStartVm() {
    if (!m_listVm)
        return;
    const int row = m_listVm->GetFirstSelected();
    if (row < 0)
        return;
    StartVm(m_listVm->ListRows().Text(row, 0));
}

void CTarnwickDlg::StartVm(const std::string& name) {
    if (Emu::StartEmulator(name.c_str()) == 0) {
        std::string text = FetchStartErrorText(name.c_str());
        if (text.empty())
            text = "Unkown Error";
        CEmulatorErrDlg report(text, this);
        report.DoModal();
    }
    RefreshRunStates();
}

void CTarnwickDlg::StopVm(const std::string& name, int32_t force) {
    // Whatever the answer, the state read next shows what became of it.
    Emu::StopEmulator(name.c_str(), force);
    RefreshRunStates();
}

void CTarnwickDlg::ShowVmDetails(const std::string& name) {
    std::string format;
    GetLangText("VM_DETAILS_TITLE", "Details of %s", format);
    CEmulatorInfoDlg details(base::FormatWithText(format, name),
                             FetchEmulatorInfoText(name.c_str()), this);
    details.DoModal();
}

void CTarnwickDlg::CloneVm(int row, const std::string& name) {
    CCloneDlg ask(name, this);
    if (ask.DoModal() != IDOK)
        return;
    const std::string to = ask.GetNewName();
    if (Emu::CloneEmulator(name.c_str(), to.c_str()) == 0) {
        std::string text = FetchStartErrorText(to.c_str());
        if (text.empty()) {
            std::string format;
            GetLangText("VM_CLONE_ERR", "%s could not be cloned.", format);
            text = base::FormatWithText(format, name);
        }
        ShowMessage(this, text);
        return;
    }
    // A clone whose record cannot be read gets no row, as at the listing.
    EmulatorOptions options;
    std::memset(&options, 0, sizeof options);
    if (Emu::GetEmulatorOptions(to.c_str(), &options) != 0)
        InsertVmRow(row + 1, options);
    RefreshRunStates();
}

void CTarnwickDlg::RefreshRunStates() {
    m_statesStale = false;
    if (!m_listVm)
        return;
    for (int row = 0; row < m_listVm->GetItemCount(); ++row)
        m_listVm->SetRunIndicator(row, ReadRunState(m_listVm->ListRows().Text(row, 0)));
}

void CTarnwickDlg::OnListContextMenu(int row, const QPoint& globalPos) {
    if (!m_listVm || row < 0 || row >= m_listVm->GetItemCount())
        return;
    const std::string name = m_listVm->ListRows().Text(row, 0);
    // The menu fits the state of this moment, which may have changed since
    // the rows were last read.
    const VmRunState state = ReadRunState(name);
    m_listVm->SetRunIndicator(row, state);
    CVmContextMenu menu(state, this);
    switch (menu.Run(globalPos)) {
    case VmCommand::Start:
        StartVm(name);
        break;
    case VmCommand::Stop:
        StopVm(name, 0);
        break;
    case VmCommand::ForceOff:
        StopVm(name, 1);
        break;
    case VmCommand::Details:
        ShowVmDetails(name);
        break;
    case VmCommand::Clone:
        CloneVm(row, name);
        break;
    case VmCommand::None:
        break;
    }
}

void CTarnwickDlg::OnListClick(int row) {
    SetVmButtons(row != -1);
}

void CTarnwickDlg::OnListDblClick(int row) {
    SetVmButtons(row != -1);
    if (row != -1)
        OnEditVm();
}

void CTarnwickDlg::OnOK() {}

bool CTarnwickDlg::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        m_statesStale = true;
        break;
    case QEvent::WindowActivate:
        // Only a return: the first activation follows the read at opening.
        if (m_statesStale)
            RefreshRunStates();
        break;
    default:
        break;
    }
    return CTemplateDialog::event(event);
}

void CTarnwickDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnterOrEscape(event)) {
        event->accept();
        return;
    }
    CTemplateDialog::keyPressEvent(event);
}
