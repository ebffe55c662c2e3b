// A test's stretch in another interface language: the program's Chinese comes back however the test
// ends, so the tests after it read the texts as written. The posted language change is delivered at
// both ends, so every widget has its new texts when the constructor returns.
#pragma once

#include "Languages.h"

#include <QCoreApplication>

class TInterfaceLanguageScope {
  public:
    explicit TInterfaceLanguageScope(TInterfaceLanguage language) : shown_(Use(language)) {}
    ~TInterfaceLanguageScope() { Use(TInterfaceLanguage::Chinese); }
    TInterfaceLanguageScope(const TInterfaceLanguageScope&) = delete;
    TInterfaceLanguageScope& operator=(const TInterfaceLanguageScope&) = delete;

    // The language shown (Chinese when English was asked for and its catalogue is missing).
    TInterfaceLanguage Shown() const { return shown_; }
    static TInterfaceLanguage Use(TInterfaceLanguage language) {
        const TInterfaceLanguage shown = UseInterfaceLanguage(language);
        QCoreApplication::processEvents();
        return shown;
    }

  private:
    TInterfaceLanguage shown_;
};

class TEnglishInterface : public TInterfaceLanguageScope {
  public:
    TEnglishInterface() : TInterfaceLanguageScope(TInterfaceLanguage::English) {}
    // False when the English catalogue is missing from the resources.
    bool Shown() const { return TInterfaceLanguageScope::Shown() == TInterfaceLanguage::English; }
};
