// The network the server and share tests of both platforms complete against: the
// Linux layer reads it, and under Wine the test provider and the listing doubles do.
// ALPHA is in two domains (and so listed twice by the walk); the second provider has
// a workgroup of the same name with other servers, reached only after a bad provider.
// ZETA, in no domain, refuses its share list.
// "@FAMILY@" is "nt" or "other".
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

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

// Slow servers and domains: every call SLOW answers waits SlowServerDelay ms, every
// listing of SLOWDOM's servers SlowDomainDelay ms. FAST is in SLOWDOM and SLOW in
// QUICK, so a server's wait is never its domain's, nor a domain's its servers'. The two
// delays differ, so that a call waiting for the wrong one is told apart. "@FAMILY@" as
// above; "@PATH@" is the folder behind the share "data" of both servers.
constexpr long SlowServerDelay = 200, SlowDomainDelay = 150;
inline const char* const SlowNetwork = R"({
  "platform": "@FAMILY@", "domain": "QUICK",
  "providers": [ { "name": "Microsoft Windows Network", "domains": [
    { "name": "SLOWDOM", "delay": 150, "servers": ["SLOW", "FAST"] },
    { "name": "QUICK", "servers": ["SLOW", "FAST"] } ] } ],
  "servers": {
    "SLOW": { "delay": 200, "shares": [ { "name": "data", "path": "@PATH@" } ] },
    "FAST": { "shares": [ { "name": "data", "path": "@PATH@" } ] } } })";

// The sample `json` with each of its "@NAME@" placeholders replaced as `values` says.
inline std::string Filled(std::string json,
                          std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values)
        for (size_t at; (at = json.find(name)) != std::string::npos;)
            json.replace(at, std::strlen(name), value);
    return json;
}

} // namespace testhost
