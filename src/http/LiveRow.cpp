#include "http/LiveRow.h"

namespace velkor::http {

const char* linkStateName(LinkState state) {
    switch (state) {
    case LinkState::Reading: return "reading";
    case LinkState::Reconnecting: return "reconnecting";
    case LinkState::Away: return "away";
    case LinkState::Ended: return "ended";
    }
    return "ended";
}

} // namespace velkor::http
