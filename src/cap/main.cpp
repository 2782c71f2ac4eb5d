#include "cap/CaptureCommand.h"
#include "cap/HardwarePorts.h"
#include "cap/SettingsAccess.h"
#include "ports/PortPermissions.h"
#include "station/Station.h"

#include <algorithm>
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
    std::vector<std::string> args(argv + 1, argv + argc);

    // Privileges go before anything reads a source or writes a file. With the hardware,
    // the card ports are asked for first, while the command is still single-threaded;
    // which adapter the settings select is only known later, as the user. Root itself
    // goes on as nobody, or is refused with the hardware, whose settings are a user's.
    std::unique_ptr<quav::DirectPortIo> cards;
    std::string cardMessage;
    if (std::find(args.begin(), args.end(), "--hardware") != args.end()) {
        QString portMessage;
        QString fatal;
        if (!quav::Station::OpenCardPorts(cards, &portMessage, &fatal)) {
            std::cerr << "quav-videotext-cap: " << fatal.toStdString() << '\n';
            return quav::cap_exit::NoSafeRights;
        }
        cardMessage = portMessage.toStdString();
    } else {
        std::string notice;
        if (const std::string error = quav::DropPrivileges(quav::RootStart::BecomeNobody, &notice);
            !error.empty()) {
            std::cerr << "quav-videotext-cap: " << error << '\n';
            return quav::cap_exit::NoSafeRights;
        }
        if (!notice.empty()) {
            std::cerr << "quav-videotext-cap: " << notice << '\n';
        }
    }

    // The serial port object needs an application object for its notifications.
    QCoreApplication app(argc, argv);
    quav::CaptureCommand command(std::cout, std::cerr);
    command.SetProgress(::isatty(STDERR_FILENO) == 1);
    command.SetHardwareAccess(
        quav::LoadStoredSettings, [&cards, &cardMessage](const quav::Settings& settings, std::string& error) {
            return quav::OpenHardwarePorts(settings, error, std::move(cards), cardMessage);
        });
    try {
        return command.Run(args);
    } catch (const std::exception& e) {
        std::cerr << "quav-videotext-cap: " << e.what() << '\n';
        return quav::cap_exit::OutputFailed;
    }
}
