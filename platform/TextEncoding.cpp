#include "platform/TextEncoding.h"

#include <cerrno>
#include <clocale>
#include <iconv.h>
#include <langinfo.h>

namespace platform {

std::string defaultLegacyEncoding() {
    static const std::string encoding = [] {
        // nl_langinfo answers for the C locale until a program calls setlocale, so ask the
        // environment's locale explicitly.
        locale_t environment = newlocale(LC_CTYPE_MASK, "", nullptr);
        std::string codeset = environment ? nl_langinfo_l(CODESET, environment) : "";
        if (environment) freelocale(environment);
        const bool legacy = !codeset.empty() && codeset != "UTF-8" && codeset != "ANSI_X3.4-1968";
        return legacy ? codeset : std::string("WINDOWS-1252");
    }();
    return encoding;
}

std::optional<std::string> convertText(std::string_view bytes, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) return std::nullopt;
    std::string out(bytes.size() * 4 + 16, '\0');
    std::size_t used = 0;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    bool ok = true;
    bool flushing = false;
    for (;;) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        // Once all input is converted, a null input writes what a shift state still holds.
        const std::size_t rc = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                        : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = out.size() - outLeft;
        if (rc == std::size_t(-1) && error == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (rc == std::size_t(-1)) ok = false;
        if (!ok || flushing) break;
        flushing = true;
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(used);
    return out;
}

} // namespace platform
