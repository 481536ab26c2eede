#include "config/PageServices.h"

#include "app/backend/ProgramDir.h"
#include "config/EmulPropertyPage.h"
#include "dialog/DataExchange.h"
#include "dialog/MessageBox.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <charconv>

#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

std::string MakeProgramRelativePath(const std::string& path) {
    return MakeProgramRelativePath(path, GetProgramDir());
}

std::string MakeProgramRelativePath(const std::string& path, const std::string& programDir) {
    const size_t n = programDir.size();
    if (n == 0 || path.size() <= n || path.compare(0, n, programDir) != 0 || path[n] != '/')
        return path;
    // Past every separator: "<dir>//img" must not become the absolute "/img".
    const size_t rest = path.find_first_not_of('/', n);
    // "<dir>/" names the directory, not a file beneath it; an empty relative
    // path would read as "no file".
    if (rest == std::string::npos)
        return path;
    return path.substr(rest);
}

std::optional<int32_t> ReadSignedDecimal(const std::string& text) {
    size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(first, last, magnitude);
    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    if (end == first || ec != std::errc() || magnitude > limit)
        return std::nullopt;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                    : static_cast<int32_t>(magnitude);
}

bool PathExists(const std::string& path) {
    const std::string dir = GetProgramDir();
    // The pages rely on the program directory staying current afterwards.
    if (!dir.empty() && chdir(dir.c_str()) != 0) {
        // Gone while running: relative paths resolve against the old one.
    }
    if (path.empty())
        return false;
    glob_t found{};
    const bool matched =
        glob(path.c_str(), GLOB_NOSORT, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    if (matched)
        return true;
    // A name such as "disk[1].img" is a pattern to glob that need not match
    // itself; the file of that literal name still exists.
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

namespace {
// Qt's own dialog where no desktop can host a native one (headless runs and
// tests, which drive it as an ordinary modal widget).
bool UseQtFileDialog() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}
} // namespace

void BrowseForFile(CEmulPropertyPage* page, BrowseKind kind, std::string& copy) {
    if (!page)
        return;
    page->UpdateData(true);
    {
        QFileDialog dialog(page);
        dialog.setAcceptMode(kind == BrowseKind::Open ? QFileDialog::AcceptOpen
                                                      : QFileDialog::AcceptSave);
        dialog.setFileMode(kind == BrowseKind::Open ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
        // One filter showing every file: "*.*" would hide names without a dot
        // such as zImage.
        dialog.setNameFilter(QStringLiteral("*"));
        dialog.setOption(QFileDialog::DontUseNativeDialog, UseQtFileDialog());
        if (dialog.exec() == QDialog::Accepted) {
            const QStringList chosen = dialog.selectedFiles();
            if (!chosen.isEmpty() && !chosen.first().isEmpty())
                copy = MakeProgramRelativePath(ToLocal(chosen.first()));
        }
    }
    page->UpdateData(false);
}

void FillComboFromList(QWidget* dialog, int32_t id, const ListCall& call) {
    const std::optional<std::vector<std::string>> items = FetchList(call);
    if (!items || !dialog)
        return;
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(dialog, id));
    if (!combo)
        return;
    const QSignalBlocker quiet(combo);
    combo->clear();
    for (const std::string& item : *items)
        AddComboItem(combo, item);
    if (combo->count() > 0)
        combo->setCurrentIndex(0);
}
