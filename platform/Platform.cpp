#include "Platform.h"
#include "FakePlatform.h"

#include <QtGlobal>

namespace {
std::unique_ptr<TPlatform>& Current() {
    static std::unique_ptr<TPlatform> current;
    return current;
}
} // namespace

TPlatform& Platform() {
    auto& current = Current();
    if (!current) {
        if (qEnvironmentVariable("VEXMOR_PLATFORM") == QLatin1String("fake"))
            current = MakeFakePlatform(std::make_shared<TFakeState>());
        else
            current = MakeX11Platform();
    }
    return *current;
}

std::unique_ptr<TPlatform> SetPlatform(std::unique_ptr<TPlatform> platform) {
    auto previous = std::move(Current());
    Current() = std::move(platform);
    return previous;
}
