#include "cap/CaptureCommand.h"
#include "cap/HardwarePorts.h"
#include "cap/SettingsAccess.h"

#include <csignal>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // A closed pipe and the file-size limit come back as write errors with a message
    // instead of ending the command.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // The serial port object needs an application object for its notifications.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    quav::CaptureCommand command(std::cout, std::cerr);
    command.SetProgress(::isatty(STDERR_FILENO) == 1);
    command.SetHardwareAccess(quav::LoadStoredSettings, quav::OpenHardwarePorts);
    try {
        return command.Run(args);
    } catch (const std::exception& e) {
        std::cerr << "quav-videotext-cap: " << e.what() << '\n';
        return quav::cap_exit::OutputFailed;
    }
}
