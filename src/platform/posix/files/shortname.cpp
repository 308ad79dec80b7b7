// 8.3 alternate names for the file search: none yet, as Linux file systems keep none.
#include "files/files.h"

namespace zp {

bool ShortName(const char*, char out[ShortNameSize]) {
    out[0] = '\0';
    return false;
}

} // namespace zp
