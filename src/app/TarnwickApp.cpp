#include "app/TarnwickApp.h"

#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ProgramDir.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"

#include <QApplication>

bool CTarnwickApp::InitInstance() {
    // The toolkit needs no control registration; the name titles message boxes.
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));

    const std::string programDir = GetProgramDir();
    const CommandLineArgs args = SplitCommandLine(m_strCommandLine);
    m_strExtraArg = args.extraArg;
    const std::string languagePath = programDir + "/" + args.language + ".lng";

    // Before the instance check, so a second instance has the same texts.
    CreateLanguageManager(args.language, languagePath);

    CInstanceMarker marker;
    const CInstanceMarker::Role role = marker.Acquire();
    // Held until the process ends, through shutdown.
    marker.KeepUntilExit();

    if (role == CInstanceMarker::Role::Second) {
        std::string caption;
        GetLangText(std::to_string(res::Main::id), "Tarnwick", caption);
        if (!caption.empty()) {
            SendCaptionToRunningInstance(caption);
        }
        return false;
    }

    LoadEmulatorLibrary();
    {
        CTarnwickDlg mainWindow;
        // Every later window (sheet, message boxes) shares the main window's
        // icon: its images are decoded once, and a second instance never
        // loads them.
        QApplication::setWindowIcon(mainWindow.Icon());
        // Listening starts only once the main window exists; a second start
        // before that finds nobody and ends silently.
        CInstanceListener listener;
        listener.Listen();
        mainWindow.DoModal();
    }
    return false;
}

int CTarnwickApp::ExitInstance() {
    if (g_pLangManager) {
        delete g_pLangManager; // writes the texts back
        g_pLangManager = nullptr;
    }
    FreeEmulatorLibrary();
    return 0;
}
