// Pictures: any picture with an integer, a real or a text, formatted and
// read back. Invalid pictures must be refused, never throw or build huge
// texts.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "platform/runtime/Picture.h"
#include "platform/runtime/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string picture = in.ConsumeRandomLengthString(64);
    kr::Value value;
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: value = kr::Value(in.ConsumeIntegral<int64_t>()); break;
        case 1: value = kr::Value(in.ConsumeFloatingPoint<double>()); break;
        default: value = kr::Value(in.ConsumeRandomLengthString(64)); break;
    }
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string shown = kr::Format(value, picture);
    if (kr::ValidPicture(picture) && shown.size() > static_cast<std::size_t>(kr::kMaxPictureWidth) + 64)
        __builtin_trap();
    (void)kr::Deformat(shown, picture);
    (void)kr::Deformat(text, picture);
    (void)kr::TryDeformat(text, picture);
    (void)kr::PictureKind(picture);
    return 0;
}
