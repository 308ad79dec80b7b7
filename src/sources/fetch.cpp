// FetchCandidate: the source is chosen by the kind of word StartSearch found.
#include "engine/state.h"

namespace zarelin {

int32_t CompletionState::FetchCandidate() {
    int32_t added = NetPattern == NoPattern       ? FetchFileName()
                    : NetPattern == ServerPattern ? FetchServerName()
                                                  : FetchShareName();
    // The last search's call, when this one had no use for it.
    Abandon(Orphan);
    return added;
}

} // namespace zarelin
