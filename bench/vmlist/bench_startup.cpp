// Time from process start until the main window is shown with its list
// filled, for 0, 1,000 and 10,000 machines. The program and the test back end
// run from a private copy under the offscreen platform; the window closes
// itself once its list has been painted (TARNWICK_QUIT_WHEN_SHOWN).
//
// The test back end builds its records when it is loaded, which costs about
// as much as the manager's own work for the same number of machines. Each size
// therefore also runs with the records built but none listed; the difference
// to the empty run is the back end's set-up, and the "manager" figures leave
// it out.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kRuns = 5;

struct Setup {
    QTemporaryDir dir;
    QString exe;
    QString script;
};

bool Prepare(Setup& s, int machines, bool listed) {
    if (!s.dir.isValid())
        return false;
    s.exe = s.dir.filePath(QStringLiteral("tarnwick"));
    s.script = s.dir.filePath(QStringLiteral("script.txt"));
    if (!QFile::copy(QStringLiteral(TARNWICK_EXE), s.exe) ||
        !QFile::copy(QStringLiteral(TEST_BACKEND), s.dir.filePath(QStringLiteral("Brevantix.dll"))))
        return false;
    QFile script(s.script);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    // The in-memory call log would hold every record fetched.
    QByteArray text = QStringLiteral("memlog off\nmachines %1\n").arg(machines).toUtf8();
    if (!listed)
        text += "list EnumAllEmulator *\n";
    script.write(text);
    return true;
}

// Milliseconds of one run; nullopt when the window did not report its rows.
std::optional<double> RunOnce(const Setup& s, int rows) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("BREVANTIX_TEST_SCRIPT"), s.script);
    env.insert(QStringLiteral("TARNWICK_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    // A private instance marker: another running manager must not turn this
    // one into a second instance that ends at once.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), s.dir.path());
    env.remove(QStringLiteral("BREVANTIX_TEST_LOG"));

    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(s.dir.path());
    QElapsedTimer t;
    t.start();
    p.start(s.exe, {});
    if (!p.waitForFinished(120000))
        return std::nullopt;
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    const QByteArray out = p.readAllStandardOutput();
    if (!out.contains(QStringLiteral("shown with %1 rows").arg(rows).toUtf8())) {
        std::fprintf(stderr, "run expecting %d rows: unexpected output: %s%s\n", rows,
                     out.constData(), p.readAllStandardError().constData());
        return std::nullopt;
    }
    return ms;
}

std::optional<double> Median(int machines, bool listed = true) {
    Setup s;
    const int rows = listed ? machines : 0;
    if (!Prepare(s, machines, listed)) {
        std::fprintf(stderr, "cannot prepare a copy of the program in %s\n",
                     qPrintable(s.dir.path()));
        return std::nullopt;
    }
    if (!RunOnce(s, rows)) // warm-up: page cache, font cache
        return std::nullopt;
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto ms = RunOnce(s, rows);
        if (!ms)
            return std::nullopt;
        times.push_back(*ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

void PrintRatios(double empty, double thousand, double tenThousand) {
    const double r1 = thousand / empty;
    const double r2 = tenThousand / thousand;
    std::printf("  ratio 1,000 / empty:   %5.2fx (goal <= 1.5x)  %s\n", r1,
                r1 <= 1.5 ? "met" : "MISSED");
    std::printf("  ratio 10,000 / 1,000:  %5.2fx (goal <= 12x)   %s\n", r2,
                r2 <= 12.0 ? "met" : "MISSED");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto empty = Median(0);
    const auto thousand = Median(1000);
    const auto tenThousand = Median(10000);
    const auto thousandUnlisted = Median(1000, false);
    const auto tenThousandUnlisted = Median(10000, false);
    if (!empty || !thousand || !tenThousand || !thousandUnlisted || !tenThousandUnlisted)
        return 1;

    std::printf("start-up until shown and filled, median of %d runs\n", kRuns);
    std::printf("whole process (test back end's set-up included)\n");
    std::printf("  0 machines:       %8.1f ms\n", *empty);
    std::printf("  1,000 machines:   %8.1f ms\n", *thousand);
    std::printf("  10,000 machines:  %8.1f ms\n", *tenThousand);
    PrintRatios(*empty, *thousand, *tenThousand);

    const double setup1 = std::max(0.0, *thousandUnlisted - *empty);
    const double setup10 = std::max(0.0, *tenThousandUnlisted - *empty);
    const double manager1 = *thousand - setup1;
    const double manager10 = *tenThousand - setup10;
    std::printf("manager (test back end's set-up of 1,000: %.1f ms, of 10,000: %.1f ms left out)\n",
                setup1, setup10);
    std::printf("  0 machines:       %8.1f ms\n", *empty);
    std::printf("  1,000 machines:   %8.1f ms\n", manager1);
    std::printf("  10,000 machines:  %8.1f ms\n", manager10);
    PrintRatios(*empty, manager1, manager10);
    return 0;
}
