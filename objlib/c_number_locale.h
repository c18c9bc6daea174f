// Makes formatted output on this thread use the "C" conventions for numbers
// (a decimal point, whatever the process locale) while the object lives.
// The text dumps use it so their numbers read the same everywhere.
#pragma once

#include <clocale>
#include <string>
#ifndef _WIN32
#include <locale.h>
#endif

class CNumberLocale {
 public:
#ifdef _WIN32
  CNumberLocale() : mode_(_configthreadlocale(_ENABLE_PER_THREAD_LOCALE)) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    if (old) saved_ = old;
    std::setlocale(LC_NUMERIC, "C");
  }
  ~CNumberLocale() {
    if (!saved_.empty()) std::setlocale(LC_NUMERIC, saved_.c_str());
    _configthreadlocale(mode_);
  }

 private:
  int mode_;
  std::string saved_;
#else
  CNumberLocale() : c_(newlocale(LC_NUMERIC_MASK, "C", locale_t(0))) {
    if (c_) old_ = uselocale(c_);
  }
  ~CNumberLocale() {
    if (c_) {
      uselocale(old_);
      freelocale(c_);
    }
  }

 private:
  locale_t c_;
  locale_t old_ = locale_t(0);
#endif
  CNumberLocale(const CNumberLocale&) = delete;
  CNumberLocale& operator=(const CNumberLocale&) = delete;
};
