#pragma once
// Switches the calling thread to a locale whose decimal separator is a comma, as a GUI
// toolkit may do for the whole process. Tests skip when no such locale is installed.
#include <locale.h>

namespace testsupport {

class CommaLocale {
  public:
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
            locale_ = newlocale(LC_ALL_MASK, name, locale_t(0));
            if (locale_) break;
        }
        if (locale_) previous_ = uselocale(locale_);
    }
    ~CommaLocale() {
        if (!locale_) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const { return locale_ != locale_t(0); }

  private:
    locale_t locale_ = locale_t(0);
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

} // namespace testsupport

#define LV_REQUIRE_COMMA_LOCALE(guard)                                                                       \
    do {                                                                                                     \
        if (!(guard).active()) GTEST_SKIP() << "no locale with a decimal comma installed";                   \
    } while (0)
