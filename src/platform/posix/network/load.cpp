// Reading the network file: JSON, checked key by key, into a Network.
//
// Every complaint names the file and the line or key it is about, so that a mistyped
// file is mended in one look; a file that cannot be used yields no network at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <nlohmann/json.hpp>

#include "network/network.h"
#include "network/smb.h"

namespace zp {

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

constexpr int MaxNesting = 16;                  // the format itself needs 7 levels
constexpr long MaxFileSize = 16L * 1024 * 1024; // far beyond any network worth typing
constexpr size_t MaxNameBytes = 1024;           // room for oversized names, not for junk
constexpr int MaxDelayMs = 60000;               // a slow server, not one that never answers

// The line where brackets first nest deeper than `cap`, or 0. Strings and comments are
// skipped so that brackets inside them do not count.
int LineTooDeep(const std::string& text, int cap) {
    int depth = 0, line = 1;
    size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c == '\n') {
            ++line;
        } else if (c == '"') {
            for (++i; i < n && text[i] != '"'; ++i) {
                if (text[i] == '\\') ++i;
                if (i < n && text[i] == '\n') ++line;
            }
        } else if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i + 1 < n && text[i + 1] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            for (i += 2; i + 1 < n && !(text[i] == '*' && text[i + 1] == '/'); ++i)
                if (text[i] == '\n') ++line;
            ++i;
        } else if (c == '{' || c == '[') {
            if (++depth > cap) return line;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return 0;
}

// Walks the parsed document, naming the file and the key in every complaint.
class Reader {
  public:
    Reader(std::string file, fs::path base) : file_(std::move(file)), base_(std::move(base)) {}

    std::shared_ptr<Network> Read(const Json& root) {
        auto net = std::make_shared<Network>();
        Expect(root, Json::value_t::object, "", "an object");
        Keys(root, "", {"platform", "workgroup", "domain", "providers", "servers"});
        std::string platform = Text(root, "platform", "", false, "nt");
        if (platform != "nt" && platform != "other")
            Fail("platform", "\"" + platform + "\" is neither \"nt\" nor \"other\"");
        net->nt = platform == "nt";
        net->workgroup = Text(root, "workgroup", "", false);
        net->domain = Text(root, "domain", "", false);
        if (root.contains("providers")) {
            const Json& list = root["providers"];
            Expect(list, Json::value_t::array, "providers", "a list");
            for (size_t i = 0; i < list.size(); ++i)
                net->providers.push_back(ReadProvider(list[i], Index("providers", i)));
        }
        if (root.contains("servers")) {
            const Json& map = root["servers"];
            Expect(map, Json::value_t::object, "servers", "an object of servers by name");
            for (auto it = map.begin(); it != map.end(); ++it)
                net->servers.push_back(ReadServer(it.key(), it.value(), "servers." + it.key()));
        }
        Unique(net->providers, "providers", [](const Provider& p) { return p.name; });
        for (size_t i = 0; i < net->providers.size(); ++i)
            Unique(net->providers[i].domains, Index("providers", i) + ".domains",
                   [](const Domain& d) { return d.name; });
        Unique(net->servers, "servers", [](const Server& s) { return s.name; });
        // The names' lookup and UTF-16 forms, made once here.
        for (Server& s : net->servers) {
            s.key = Fold(Utf8ToWide(s.name));
            s.wideComment = Utf8ToWide(s.comment);
        }
        for (Provider& p : net->providers) {
            p.wide = Utf8ToWide(p.name);
            p.key = Fold(p.wide);
            for (Domain& d : p.domains) {
                d.wide = Utf8ToWide(d.name);
                d.key = Fold(d.wide);
                for (const std::string& s : d.servers) {
                    d.keys.push_back(Fold(Utf8ToWide(s)));
                    d.wideServers.push_back(Utf8ToWide("\\\\" + s));
                }
            }
        }
        for (const Server& s : net->servers)
            Unique(s.shares, "servers." + s.name, [](const Share& sh) { return sh.name; });
        return net;
    }

  private:
    std::string file_; // named in every complaint
    fs::path base_;    // the absolute directory relative share paths start from

    [[noreturn]] void Fail(const std::string& key, const std::string& why) const {
        throw LoadError{file_ + ": " + (key.empty() ? "" : key + ": ") + why};
    }

    static std::string Index(const std::string& key, size_t i) {
        return key + "[" + std::to_string(i) + "]";
    }
    static std::string Child(const std::string& key, const char* name) {
        return key.empty() ? name : key + "." + name;
    }

    void Expect(const Json& value, Json::value_t type, const std::string& key,
                const char* what) const {
        if (value.type() != type)
            Fail(key, std::string("expected ") + what + ", found " + value.type_name());
    }

    void Keys(const Json& object, const std::string& key,
              std::initializer_list<const char*> allowed) const {
        for (auto it = object.begin(); it != object.end(); ++it)
            if (std::none_of(allowed.begin(), allowed.end(),
                             [&](const char* name) { return it.key() == name; }))
                Fail(Child(key, it.key().c_str()), "unknown key");
    }

    std::string Text(const Json& object, const char* name, const std::string& key, bool required,
                     const std::string& fallback = "") const {
        if (!object.contains(name)) {
            if (required) Fail(Child(key, name), "missing");
            return fallback;
        }
        const Json& value = object[name];
        Expect(value, Json::value_t::string, Child(key, name), "a string");
        return value.get<std::string>();
    }

    // A name the calls hand out: not empty, of a sane length, and for servers, domains
    // and shares without the separators that would make it a path.
    std::string Name(const Json& value, const std::string& key, bool pathLike) const {
        Expect(value, Json::value_t::string, key, "a name");
        std::string name = value.get<std::string>();
        if (name.empty()) Fail(key, "empty name");
        if (name.size() > MaxNameBytes)
            Fail(key, "name longer than " + std::to_string(MaxNameBytes) + " bytes");
        if (pathLike && name.find_first_of("\\/") != std::string::npos)
            Fail(key, "\"" + name + "\" holds a path separator");
        return name;
    }

    bool Flag(const Json& object, const char* name, const std::string& key) const {
        if (!object.contains(name)) return false;
        Expect(object[name], Json::value_t::boolean, Child(key, name), "true or false");
        return object[name].get<bool>();
    }

    Provider ReadProvider(const Json& value, const std::string& key) const {
        Expect(value, Json::value_t::object, key, "a provider object");
        Keys(value, key, {"name", "domains"});
        if (!value.contains("name")) Fail(Child(key, "name"), "missing");
        Provider provider{Name(value["name"], Child(key, "name"), false), {}, {}, {}};
        if (!value.contains("domains")) return provider;
        const Json& list = value["domains"];
        std::string listKey = Child(key, "domains");
        Expect(list, Json::value_t::array, listKey, "a list");
        for (size_t i = 0; i < list.size(); ++i) {
            const Json& entry = list[i];
            std::string at = Index(listKey, i);
            Expect(entry, Json::value_t::object, at, "a domain object");
            Keys(entry, at, {"name", "servers", "delay"});
            if (!entry.contains("name")) Fail(Child(at, "name"), "missing");
            Domain domain;
            domain.name = Name(entry["name"], Child(at, "name"), true);
            domain.delayMs = Integer(entry, "delay", at, 0, MaxDelayMs, 0);
            if (entry.contains("servers")) {
                const Json& servers = entry["servers"];
                std::string serversKey = Child(at, "servers");
                Expect(servers, Json::value_t::array, serversKey, "a list of server names");
                for (size_t k = 0; k < servers.size(); ++k)
                    domain.servers.push_back(Name(servers[k], Index(serversKey, k), true));
            }
            provider.domains.push_back(std::move(domain));
        }
        return provider;
    }

    Server ReadServer(const std::string& name, const Json& value, const std::string& key) const {
        Server server;
        server.name = Name(Json(name), key, true);
        Expect(value, Json::value_t::object, key, "a server object");
        Keys(value, key, {"comment", "denied", "shares", "smb", "delay"});
        server.comment = Text(value, "comment", key, false);
        server.denied = Flag(value, "denied", key);
        server.delayMs = Integer(value, "delay", key, 0, MaxDelayMs, 0);
        if (value.contains("smb")) {
            // A real server names its own shares and decides whom it refuses.
            for (const char* own : {"shares", "denied"})
                if (value.contains(own))
                    Fail(Child(key, own), "a server reached over SMB lists its own shares");
            server.smb = std::make_shared<SmbServer>(ReadSmb(value["smb"], Child(key, "smb")));
            return server;
        }
        if (!value.contains("shares")) return server;
        const Json& list = value["shares"];
        std::string listKey = Child(key, "shares");
        Expect(list, Json::value_t::array, listKey, "a list");
        for (size_t i = 0; i < list.size(); ++i)
            server.shares.push_back(ReadShare(list[i], Index(listKey, i)));
        return server;
    }

    // How a real server is reached: {"address": "host", "port": 445, "timeout": 5000,
    // "credentials": "file"}; only the address is required.
    SmbSettings ReadSmb(const Json& value, const std::string& key) const {
        Expect(value, Json::value_t::object, key, "an object with the server's address");
        Keys(value, key, {"address", "port", "timeout", "credentials"});
        SmbSettings smb;
        smb.host = Text(value, "address", key, true);
        if (smb.host.empty() || smb.host.find_first_of("/\\ ") != std::string::npos)
            Fail(Child(key, "address"), "\"" + smb.host + "\" is not a host name or address");
        smb.port = Integer(value, "port", key, 1, 65535, smb.port);
        smb.timeoutMs = Integer(value, "timeout", key, 1, 600000, smb.timeoutMs);
        std::string file = Text(value, "credentials", key, false);
        if (file.empty()) return smb;
        smb.credentials = (base_ / file).lexically_normal().string();
        std::string text, why;
        try {
            text = ReadNetworkFile(smb.credentials);
        } catch (const LoadError& e) {
            Fail(Child(key, "credentials"), e.text);
        }
        if (!ParseCredentials(text, &smb, &why))
            Fail(Child(key, "credentials"), smb.credentials + ": " + why);
        return smb;
    }

    int Integer(const Json& object, const char* name, const std::string& key, long low, long high,
                int fallback) const {
        if (!object.contains(name)) return fallback;
        const Json& value = object[name];
        std::string at = Child(key, name);
        if (!value.is_number_integer())
            Fail(at, std::string("expected a whole number, found ") + value.type_name());
        bool fits = value.is_number_unsigned()
                        ? value.get<unsigned long long>() <= static_cast<unsigned long long>(high)
                        : value.get<long long>() <= high;
        if (!fits || value.get<long long>() < low)
            Fail(at, "not between " + std::to_string(low) + " and " + std::to_string(high));
        return static_cast<int>(value.get<long long>());
    }

    Share ReadShare(const Json& value, const std::string& key) const {
        static const struct {
            const char* name;
            ShareKind kind;
        } kinds[] = {{"disk", ShareKind::Disk},
                     {"printer", ShareKind::Printer},
                     {"device", ShareKind::Device},
                     {"ipc", ShareKind::Ipc},
                     {"special", ShareKind::Special}};
        Expect(value, Json::value_t::object, key, "a share object");
        Keys(value, key, {"name", "type", "remark", "path"});
        if (!value.contains("name")) Fail(Child(key, "name"), "missing");
        Share share{Name(value["name"], Child(key, "name"), true), ShareKind::Disk, "", ""};
        std::string type = Text(value, "type", key, false, "disk");
        auto kind = std::find_if(std::begin(kinds), std::end(kinds),
                                 [&](const auto& k) { return type == k.name; });
        if (kind == std::end(kinds))
            Fail(Child(key, "type"),
                 "\"" + type + "\" is not one of disk, printer, device, ipc, special");
        share.kind = kind->kind;
        share.remark = Text(value, "remark", key, false);
        std::string path = Text(value, "path", key, false);
        if (!path.empty() && share.kind != ShareKind::Disk && share.kind != ShareKind::Special)
            Fail(Child(key, "path"), "only disk shares have a directory");
        // The file search maps a share onto an absolute directory only.
        if (!path.empty()) path = (base_ / path).lexically_normal().string();
        share.path = path;
        return share;
    }

    // Two entries whose names differ only in case would be one name to Windows.
    template <typename T, typename NameOf>
    void Unique(const std::vector<T>& list, const std::string& key, NameOf nameOf) const {
        for (size_t i = 0; i < list.size(); ++i)
            for (size_t k = 0; k < i; ++k)
                if (SameName(Utf8ToWide(nameOf(list[i])), Utf8ToWide(nameOf(list[k]))))
                    Fail(key, "\"" + nameOf(list[i]) + "\" is named twice");
    }
};

// Reads JSON text without keeping it, to learn where it fails. The document parser
// reports a number too large for a double without a position; this reading has one
// for every failure.
class FirstError : public nlohmann::json_sax<Json> {
  public:
    size_t byte = 0; // the position of the last character read
    std::string why; // what the parser says, without its tag and position

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }

    bool parse_error(std::size_t position, const std::string&, const Json::exception& e) override {
        byte = position;
        why = e.what();
        // "[json.exception.parse_error.101] parse error at line 2, column 3: why", or
        // "[json.exception.out_of_range.406] why": the line is named by the caller.
        size_t tag = why.find("] ");
        if (!why.empty() && why[0] == '[' && tag != std::string::npos) why.erase(0, tag + 2);
        if (why.compare(0, 14, "parse error at") == 0) {
            size_t cut = why.find(": ");
            if (cut != std::string::npos) why.erase(0, cut + 2);
        }
        return false;
    }
};

} // namespace

std::shared_ptr<const Network> ParseNetwork(const std::string& text, const std::string& file,
                                            const std::string& base) {
    if (int line = LineTooDeep(text, MaxNesting))
        throw LoadError{file + ":" + std::to_string(line) + ": nested deeper than " +
                        std::to_string(MaxNesting) + " levels"};
    FirstError error;
    if (!Json::sax_parse(text, &error, Json::input_format_t::json, true,
                         /*ignore_comments=*/true)) {
        // The byte is that of the last character read: the line is the one it is on.
        size_t end = std::min(error.byte ? error.byte - 1 : 0, text.size());
        long line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(end), '\n');
        throw LoadError{file + ":" + std::to_string(line) + ": " + error.why};
    }
    Json root = Json::parse(text, nullptr, true, /*ignore_comments=*/true);
    return Reader(file, fs::path(base)).Read(root);
}

std::string ReadNetworkFile(const std::string& path) {
    // Non-blocking, and a regular file only: a FIFO or a device named by mistake must
    // not hang the host that loads the network.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw LoadError{path + ": " + std::strerror(errno)};
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw LoadError{path + ": not a regular file"};
    }
    std::string text;
    char chunk[65536];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            int failed = errno;
            close(fd);
            throw LoadError{path + ": " + std::strerror(failed)};
        }
        text.append(chunk, static_cast<size_t>(got));
        if (static_cast<long>(text.size()) > MaxFileSize) {
            close(fd);
            throw LoadError{path + ": larger than " + std::to_string(MaxFileSize) + " bytes"};
        }
    }
    close(fd);
    return text;
}

} // namespace zp
