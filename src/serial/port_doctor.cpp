#include "serial/port_doctor.h"

namespace serial {

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
