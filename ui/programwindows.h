#pragma once

#include "loginctp.h"
#include "loginsite.h"
#include "mainwindow.h"
#include "messagewindow.h"

// The program's four windows, made in the order the program needs them, with their sizes,
// flags and titles, registered in the session record and with the services that reach them.
// Destroyed in reverse: the message window first, the main window last; the registrations end
// before any window goes.
struct ProgramWindows
{
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows &) = delete;
    ProgramWindows &operator=(const ProgramWindows &) = delete;

    MainWindow main;
    LoginSite site;
    LoginCTP ctp;
    MessageWindow message;
};
