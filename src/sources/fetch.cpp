// FetchCandidate: the source is chosen by the kind of word StartSearch found.
#include "engine/state.h"

namespace zarelin {

int32_t CompletionState::FetchCandidate() {
    if (NetPattern == NoPattern) return FetchFileName();
    if (NetPattern == ServerPattern) return FetchServerName();
    return FetchShareName();
}

} // namespace zarelin
