#include "platform/Plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"

namespace platform {
namespace {

using NodePtr = std::unique_ptr<void, void (*)(plist_t)>;

constexpr double kSecondsFrom1970To2001 = 978307200.0;
// libplist recurses once per level of nesting, so a hostile file nested a million deep
// would overflow the stack; real settings files nest three or four levels.
constexpr size_t kMaxNesting = 512;

// libplist reads reals with strtod, which follows the thread's locale: under a locale with
// a decimal comma "2.5" would read as 2. Parsing and writing run in the C locale.
class CNumericLocale {
  public:
    CNumericLocale() : c_(newlocale(LC_NUMERIC_MASK, "C", locale_t(0))) {
        if (c_) previous_ = uselocale(c_);
    }
    ~CNumericLocale() {
        if (!c_) return;
        uselocale(previous_);
        freelocale(c_);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    locale_t c_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

plist_t dateNode(const Date& d) {
    double s = std::floor(d.secondsSince1970 - kSecondsFrom1970To2001);
    if (std::isnan(s)) s = 0;
    s = std::clamp(s, double(INT32_MIN), double(INT32_MAX));
    return plist_new_date(int32_t(s), 0);
}

plist_t toNode(const Value& v);

plist_t arrayNode(const Array& a) {
    plist_t node = plist_new_array();
    for (const auto& item : a)
        if (plist_t child = toNode(item)) plist_array_append_item(node, child);
    return node;
}

plist_t dictionaryNode(const Dictionary& d) {
    plist_t node = plist_new_dict();
    for (const auto& [key, item] : d)
        if (plist_t child = toNode(item)) plist_dict_set_item(node, key.c_str(), child);
    return node;
}

plist_t toNode(const Value& v) {
    static const char kNoBytes = 0;
    switch (v.kind()) {
    case Value::Kind::Null:
        return nullptr;
    case Value::Kind::String:
        return plist_new_string(v.string()->c_str());
    // No signed constructor: the two's-complement pattern writes and reads as the negative value.
    case Value::Kind::Integer:
        return plist_new_uint(uint64_t(*v.integer()));
    case Value::Kind::Real:
        return plist_new_real(*v.real());
    case Value::Kind::Bool:
        return plist_new_bool(*v.boolean() ? 1 : 0);
    case Value::Kind::Date:
        return dateNode(*v.date());
    case Value::Kind::Data: {
        const Data& d = *v.data();
        return plist_new_data(d.empty() ? &kNoBytes : reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Kind::Array:
        return arrayNode(*v.array());
    case Value::Kind::Dictionary:
        return dictionaryNode(*v.dictionary());
    }
    return nullptr;
}

Value fromNode(plist_t node);

Value arrayValue(plist_t node) {
    Array a;
    uint32_t n = plist_array_get_size(node);
    a.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        Value item = fromNode(plist_array_get_item(node, i));
        if (!item.isNull()) a.push_back(std::move(item));
    }
    return a;
}

Value dictionaryValue(plist_t node) {
    Dictionary d;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, it, &key, &child);
        std::unique_ptr<char, void (*)(void*)> ownedKey(key, std::free);
        if (!child) break;
        Value item = fromNode(child);
        if (key && !item.isNull()) d[key] = std::move(item);
    }
    std::free(it);
    return d;
}

Value fromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(int64_t(u));
    }
    case PLIST_REAL: {
        double r = 0;
        plist_get_real_val(node, &r);
        return Value(r);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        return s ? Value(std::string(s, length)) : Value(std::string());
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const auto* p = reinterpret_cast<const uint8_t*>(plist_get_data_ptr(node, &length));
        return p ? Value(Data(p, p + length)) : Value(Data());
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(Date{double(sec) + double(usec) * 1e-6 + kSecondsFrom1970To2001});
    }
    case PLIST_ARRAY:
        return arrayValue(node);
    case PLIST_DICT:
        return dictionaryValue(node);
    default:
        return Value(); // keys and UIDs have no place in our values
    }
}

bool isTag(std::string_view rest, std::string_view name) {
    if (!rest.starts_with(name)) return false;
    if (rest.size() == name.size()) return true;
    char c = rest[name.size()];
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The deepest nesting of <array> and <dict> elements, comments and CDATA skipped.
size_t nestingDepth(std::string_view xml) {
    size_t depth = 0, deepest = 0;
    for (size_t i = xml.find('<'); i != std::string_view::npos; i = xml.find('<', i + 1)) {
        std::string_view rest = xml.substr(i + 1);
        if (rest.starts_with("!--") || rest.starts_with("![CDATA[")) {
            i = xml.find(rest[1] == '-' ? "-->" : "]]>", i);
            if (i == std::string_view::npos) break;
            continue;
        }
        bool closing = rest.starts_with('/');
        if (closing) rest.remove_prefix(1);
        if (!isTag(rest, "array") && !isTag(rest, "dict")) continue;
        if (closing) {
            if (depth > 0) --depth;
            continue;
        }
        size_t end = xml.find('>', i);
        if (end == std::string_view::npos) break;
        if (xml[end - 1] != '/') deepest = std::max(deepest, ++depth);
    }
    return deepest;
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes, Error* error) {
    auto posixError = [&](int err) {
        return fail(error, {std::string(kPosixErrorDomain), err,
                            "Could not read " + path.string() + ": " + std::strerror(err)});
    };
    // Non-blocking, so that a FIFO in place of the file fails instead of hanging.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return posixError(errno);
    std::unique_ptr<int, void (*)(int*)> closer(&fd, [](int* f) { ::close(*f); });
    struct stat st {};
    if (::fstat(fd, &st) != 0) return posixError(errno);
    if (!S_ISREG(st.st_mode)) return posixError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (uint64_t(st.st_size) > UINT32_MAX) return posixError(EFBIG); // libplist's length is 32-bit
    bytes.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return posixError(errno);
        if (n == 0) break; // the file shrank while we read it
        got += size_t(n);
    }
    bytes.resize(got);
    return true;
}

} // namespace

std::string writeXmlPlist(const Value& root) {
    CNumericLocale locale;
    NodePtr node(toNode(root), plist_free);
    if (!node) return {};
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) return {};
    std::string text(xml, length);
    plist_to_xml_free(xml);
    return text;
}

bool readXmlPlist(std::string_view xml, Value& out, Error* error) {
    if (xml.size() > UINT32_MAX) return fail(error, kPlistErrors.error(PlistErrorCode::TooLarge));
    if (nestingDepth(xml) > kMaxNesting) return fail(error, kPlistErrors.error(PlistErrorCode::TooDeep));
    CNumericLocale locale;
    plist_t root = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &root);
    if (!root) return fail(error, kPlistErrors.error(PlistErrorCode::Malformed));
    NodePtr owned(root, plist_free);
    out = fromNode(root);
    return true;
}

bool writePlistFile(const std::filesystem::path& path, const Value& root, Error* error) {
    std::string xml = writeXmlPlist(root);
    if (xml.empty()) return fail(error, kPlistErrors.error(PlistErrorCode::NullRoot, {path.string()}));
    return writeFileAtomically(path, xml, error);
}

bool readPlistFile(const std::filesystem::path& path, Value& out, Error* error) {
    std::string bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    if (readXmlPlist(bytes, out, error)) return true;
    if (error) error->failureReason = path.string() + ": " + error->failureReason;
    return false;
}

} // namespace platform
