// The application object: start-up, the single-instance hand-over, shutdown.
#pragma once

#include <string>

class CTarnwickApp {
public:
    // theApp is defined in TarnwickAppObject.cpp (library tarnwick_appcore),
    // apart from InitInstance, so the pages can read m_strExtraArg without
    // linking the main window.

    // Start-up: command line, language manager, single-instance check, back
    // end, main window run modally. Always false: no loop of its own follows.
    bool InitInstance();
    // Shutdown: language write-back, library release. Returns the exit code.
    int ExitInstance();

    // The command line as the framework delivers it (text after the program
    // name). main() sets it from argv before InitInstance.
    std::string m_strCommandLine;
    // The further command-line argument, handed to the back end.
    std::string m_strExtraArg;

    // The further argument as the back end takes it: null when empty.
    const char* ExtraArgOrNull() const {
        return m_strExtraArg.empty() ? nullptr : m_strExtraArg.c_str();
    }

};

extern CTarnwickApp theApp;
