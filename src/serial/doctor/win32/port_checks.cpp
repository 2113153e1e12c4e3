// The port checks on Windows: the port exists, no other program holds it, and an FTDI
// adapter's latency timer.

#include "serial/doctor/port_doctor.h"
#include "serial/listing/adapter_facts.h"
#include "serial/listing/win32/ftdi_registry.h"
#include "serial/serial_port.h"

namespace serial {

std::vector<PortCheck> checkPortSystem(std::string_view name, const std::string& root,
                                       const PortLinks& links) {
    std::vector<PortCheck> checks;
    const std::string port(name);
    const std::unique_ptr<SerialPort> opened = makeSystemPort(links);
    const PortError error = opened->open(name);
    opened->close();
    using Kind = PortError::Kind;
    if (error.kind == Kind::InvalidName || error.kind == Kind::NotFound) {
        checks.push_back({Check::Device, Verdict::Problem, port + " does not exist",
                          "plug the adapter in; trevane-cli --list-ports lists the ports present"});
        return checks;
    }
    checks.push_back({Check::Device, Verdict::Ok, port + " exists", ""});
    if (error.kind == Kind::Busy)
        checks.push_back({Check::Free, Verdict::Problem, "another program holds " + port,
                          "close the program that holds the port"});
    else if (error)
        checks.push_back({Check::Free, Verdict::Problem, describe(error, port), ""});
    else
        checks.push_back({Check::Free, Verdict::Ok, "no other program holds " + port, ""});

    const std::optional<int> latency = win32::ftdiLatencyMs(root, port);
    if (!latency) {
        checks.push_back(
            {Check::Latency, Verdict::Ok, "not an FTDI adapter: no latency timer", ""});
    } else {
        const std::string found =
            "the FTDI adapter's latency timer is " + std::to_string(*latency) + " ms";
        if (*latency <= kLowLatencyMs)
            checks.push_back({Check::Latency, Verdict::Ok, found, ""});
        else
            checks.push_back({Check::Latency, Verdict::Warning,
                              found + ": every reply of the board waits for it",
                              ftdiLatencyFix(port)});
    }
    return checks;
}

std::vector<PortCheck> checkPort(std::string_view name, const PortLinks& links) {
    return checkPortSystem(name, {}, links);
}

} // namespace serial
