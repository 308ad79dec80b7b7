// The network the server and share tests of both platforms complete against: the
// Linux layer reads it, and under Wine the test provider and the listing doubles do.
// ALPHA is in two domains (and so listed twice by the walk); the second provider has
// a workgroup of the same name with other servers, reached only after a bad provider.
// ZETA, in no domain, refuses its share list.
// "@FAMILY@" is "nt" or "other".
#pragma once

namespace testhost {

inline const char* const SampleNetwork = R"({
  "platform": "@FAMILY@", "workgroup": "HOME", "domain": "CORP",
  "providers": [
    { "name": "Microsoft Windows Network",
      "domains": [ { "name": "CORP", "servers": ["ALPHA", "BETA"] },
                   { "name": "HOME", "servers": ["ALPHA", "GAMMA"] } ] },
    { "name": "Microsoft Network", "domains": [ { "name": "HOME", "servers": ["OMEGA"] } ] },
    { "name": "Lab Network", "domains": [ { "name": "LAB", "servers": ["DELTA"] } ] } ],
  "servers": {
    "ALPHA": { "shares": [
      { "name": "data", "type": "disk", "path": "alpha-data" },
      { "name": "docs", "type": "disk" },
      { "name": "laser", "type": "printer" },
      { "name": "C$", "type": "special" },
      { "name": "IPC$", "type": "ipc" },
      { "name": "caf\u00e9", "type": "disk" } ] },
    "ZETA": { "denied": true, "shares": [ { "name": "vault", "type": "disk" } ] } } })";

} // namespace testhost
