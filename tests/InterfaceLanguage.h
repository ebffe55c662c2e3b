// A test's stretch in the English interface: the program's Chinese comes back however the test ends,
// so the tests after it read the texts as written.
#pragma once

#include "Languages.h"

class TEnglishInterface {
  public:
    TEnglishInterface() : shown_(UseInterfaceLanguage(TInterfaceLanguage::English)) {}
    ~TEnglishInterface() { UseInterfaceLanguage(TInterfaceLanguage::Chinese); }
    TEnglishInterface(const TEnglishInterface&) = delete;
    TEnglishInterface& operator=(const TEnglishInterface&) = delete;

    // False when the English catalogue is missing from the resources.
    bool Shown() const { return shown_ == TInterfaceLanguage::English; }

  private:
    TInterfaceLanguage shown_;
};
