#include "serial/doctor/port_doctor.h"

namespace serial {

const char* checkCode(Check check) {
    switch (check) {
    case Check::Device:
        return "device";
    case Check::Access:
        return "access";
    case Check::Free:
        return "free";
    case Check::ModemManager:
        return "modemmanager";
    case Check::Brltty:
        return "brltty";
    case Check::Latency:
        return "latency";
    case Check::Board:
        return "board";
    }
    return "";
}

bool keepsPortShut(Check check) {
    return check == Check::Device || check == Check::Access || check == Check::Free;
}

const char* verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Warning:
        return "warning";
    case Verdict::Problem:
        return "problem";
    }
    return "";
}

} // namespace serial
