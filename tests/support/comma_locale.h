#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace tovrel::testing {

// Switches the process to a locale that writes decimal commas (TOVREL_TEST_COMMA_LOCALE, which
// scripts/test.sh generates and sets) and back to the old one at the end of the scope.
// `active()` is false, with the reason in `why()`, when the variable is unset or names a locale
// that is not installed.
class CommaLocale {
  public:
    CommaLocale() : old_(std::setlocale(LC_ALL, nullptr)) {
        const char* name = std::getenv("TOVREL_TEST_COMMA_LOCALE");
        if (name == nullptr || *name == '\0') {
            why_ = "TOVREL_TEST_COMMA_LOCALE is unset (scripts/test.sh sets it)";
        } else if (std::setlocale(LC_ALL, name) == nullptr) {
            why_ = std::string("the locale ") + name + " is not installed";
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, old_.c_str()); }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool active() const { return why_.empty(); }
    const std::string& why() const { return why_; }

  private:
    std::string old_;
    std::string why_;
};

}  // namespace tovrel::testing
