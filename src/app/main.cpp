#include "app/CommandLine.h"
#include "app/TarnwickApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    theApp.m_strCommandLine = JoinArguments(argc, argv);
    // The command line belongs to the manager (language, further argument),
    // so the toolkit sees only the program name; its options come from the
    // environment (QT_QPA_PLATFORM, QT_STYLE_OVERRIDE, ...).
    int toolkitArgc = 1;
    QApplication app(toolkitArgc, argv);
    // Lets Wayland compositors and task bars match the window to tarnwick.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    theApp.InitInstance();
    return theApp.ExitInstance();
}
