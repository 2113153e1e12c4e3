// trevane-cli: the headless program around the command-line logic, on this system's ports and
// console.
#include "cli/cli.h"
#include "cli/console.h"
#include "firmware/product.h"
#include "serial/doctor/port_doctor.h"
#include "serial/system_ports.h"
#include "station/record_file.h"
#include "trevane_version.h"

#include <iostream>

int main(int argc, char** argv) {
    cli::ConsoleSetup console;
    cli::Platform platform;
    const serial::PortLinks links = serial::portLinksFromEnvironment();
    platform.ports = serial::systemPorts(links);
    platform.checkPort = [links](std::string_view port) { return serial::checkPort(port, links); };
    platform.openJournal = &station::openRecordFile;
    platform.hostName = cli::hostName();
    platform.devicePaths = serial::portsHaveDevicePaths();
    platform.outIsTerminal = cli::outputIsTerminal();
    platform.shellRules = cli::shellRules();
    platform.out = &std::cout;
    platform.err = &std::cerr;
    platform.onInterrupt = &cli::setInterruptHandler;
    cli::Cli program(firmware::thisProduct(), TREVANE_VERSION, std::move(platform));
    return program.run(argc, argv);
}
